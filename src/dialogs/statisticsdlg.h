// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs/notemapview.h"
#include "dialogs/piecestripview.h"
#include "history/historyqueries.h"
#include "history/practiceweights.h"

#include <array>
#include <optional>

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QStackedLayout;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QThread;
class QValueAxis;

namespace tonvero::history {
class HistoryStore;
}

class StatisticsLoader;

// The statistics window: accuracy, right notes per minute and the median
// response time per exercise or per day over a period, the note map of a
// clef with the notes most often missed and the slowest, and the export of
// the answers, for lines of music the figures per key signature, and for a
// piece its bars in a strip; all of it for one kind of exercise or every kind. Reading happens on a thread of its own; the window shows the
// figures when they arrive (dataShown).
//
// With a session id the window shows that exercise alone: its note map and
// lists, without the charts.
class StatisticsDialog : public QDialog {
    Q_OBJECT
public:
    // The store must outlive the window. clef: the clef setting (0..3) the
    // note map opens with.
    StatisticsDialog(tonvero::history::HistoryStore& store, int clef, qint64 sessionId = 0,
                     QWidget* parent = nullptr);
    ~StatisticsDialog() override;

    void setPeriod(tonvero::history::Period period);
    // None: every kind of exercise (the default).
    void setKind(std::optional<tonvero::ExerciseKind> kind);
    void setByDay(bool byDay);
    void setClef(int clef);
    void setMetric(NoteMapView::Metric metric);
    void showNoteMap();
    void showKeys();
    // The pieces' tab, when the history has pieces.
    void showPieces();
    // Shows the bars of that piece, if the period has it; pieceShown tells when they are on screen.
    void setPiece(const QString& pieceId);

    // Writes the answers of the current choice to a CSV file, off the GUI
    // thread; exportFinished tells how it went.
    void exportTo(const QString& file);

    // Delete from the history after the user confirms: one exercise, or all;
    // historyChanged tells how it went, and the figures are read again.
    void deleteExercise(qint64 sessionId);
    void deleteAll();
    void chooseExerciseToDelete();

    bool isLoading() const { return m_loading; }
    // The one exercise shown, or 0 for all.
    qint64 sessionId() const { return m_sessionId; }
    const tonvero::history::StatisticsData& data() const { return m_data; }

    // What the window shows, for tests and tools.
    QLineSeries* accuracySeries() const { return m_accuracy; }
    QLineSeries* rateSeries() const { return m_rate; }
    QLineSeries* medianSeries() const { return m_median; }
    QChart* accuracyChart() const { return m_mainChart; }
    NoteMapView* noteMap() const { return m_noteMap; }
    QTableWidget* mostMissedTable() const { return m_missed; }
    QTableWidget* slowestTable() const { return m_slowest; }
    // The notes the practice memory favours now under the chosen clef, with their boxes.
    QTableWidget* reviewTable() const { return m_review; }
    QString summaryText() const;
    QString statusText() const;
    QTabWidget* tabs() const { return m_tabs; }
    QComboBox* kindBox() const { return m_kind; }
    // Per key signature: key, answers, right, mean time of a right answer.
    QTableWidget* keysTable() const { return m_keys; }
    // What stands in the keys table's place when no line of music was answered; null while the table shows.
    QLabel* noKeysNote() const;
    // What stands in the charts' place when there is nothing to draw; null while the charts show.
    QLabel* noChartsNote() const;
    QCheckBox* fixedScaleBox() const { return m_fixedScale; }
    // The pieces of the period, by title, with their ids as item data.
    QComboBox* piecesBox() const { return m_piece; }
    PieceStripView* pieceStrip() const { return m_strip; }
    const tonvero::history::PieceBarsData& pieceBars() const { return m_pieceBars; }
    // What the strip's current bar says, under the strip.
    QString barNote() const;
    // What stands in the strip's place when the period has no piece; null while the strip shows.
    QLabel* noPiecesNote() const;
    // The span the per-day axes show.
    QPair<QDateTime, QDateTime> dayAxisRange() const;

signals:
    // The figures of the current choice are on screen.
    void dataShown();
    // The bars of the chosen piece are on screen.
    void pieceShown();
    void exportFinished(bool ok, const QString& message);
    void historyChanged(bool ok, const QString& message);

private:
    // The wanted size within the screen the window opens on.
    QSize fittingSize(const QSize& wanted) const;
    void reload();
    void onLoaded(int generation, const tonvero::history::StatisticsData& data,
                  const tonvero::history::PieceBarsData& bars);
    void loadPiece(const QString& pieceId);
    void showPieceBars(const tonvero::history::PieceBarsData& bars);
    void fillPieces();
    QString pieceTitle(const tonvero::history::PieceFigures& piece) const;
    void onExported(bool ok, const QString& file, const QString& error);
    void chooseExportFile();
    bool confirm(const QString& text);
    void forget(qint64 sessionId);
    void fillSummary();
    void fillCharts();
    void fillNoteMap();
    void fillTables();
    void fillKinds();
    void fillKeys();
    void showPointTip(const QPointF& point, bool state);
    tonvero::history::StatisticsFilter currentFilter() const;
    bool byDay() const;
    int clef() const;

    tonvero::history::HistoryStore& m_store;
    const qint64 m_sessionId;
    tonvero::history::StatisticsData m_data;
    int m_generation = 0;
    bool m_loading = false;

    QThread* m_thread = nullptr;
    StatisticsLoader* m_loader = nullptr;

    QLabel* m_summary = nullptr;
    QLabel* m_status = nullptr;
    QComboBox* m_period = nullptr;
    QLabel* m_kindLabel = nullptr;
    QComboBox* m_kind = nullptr;
    QRadioButton* m_byExercise = nullptr;
    QRadioButton* m_byDay = nullptr;
    QComboBox* m_clef = nullptr;
    QRadioButton* m_byErrors = nullptr;
    QRadioButton* m_byTime = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_deleteExercise = nullptr;
    QPushButton* m_deleteAll = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_chartsPage = nullptr;
    QStackedLayout* m_chartsStack = nullptr;
    QLabel* m_noCharts = nullptr;
    QCheckBox* m_fixedScale = nullptr;
    QWidget* m_mapPage = nullptr;
    QWidget* m_keysPage = nullptr;
    QStackedLayout* m_keysStack = nullptr;
    QLabel* m_noKeys = nullptr;
    QTableWidget* m_keys = nullptr;
    QWidget* m_piecesPage = nullptr;
    QStackedLayout* m_piecesStack = nullptr;
    QLabel* m_noPieces = nullptr;
    QComboBox* m_piece = nullptr;
    PieceStripView* m_strip = nullptr;
    QLabel* m_barNote = nullptr;
    QLabel* m_pieceSummary = nullptr;
    tonvero::history::PieceBarsData m_pieceBars;
    QString m_wantedPiece;
    int m_pieceGeneration = 0;

    QChart* m_mainChart = nullptr;
    QChart* m_medianChart = nullptr;
    QLineSeries* m_accuracy = nullptr;
    QLineSeries* m_rate = nullptr;
    QLineSeries* m_median = nullptr;
    QValueAxis* m_mainIndex = nullptr;
    QValueAxis* m_medianIndex = nullptr;
    QDateTimeAxis* m_mainDays = nullptr;
    QDateTimeAxis* m_medianDays = nullptr;
    QValueAxis* m_accuracyAxis = nullptr;
    QValueAxis* m_rateAxis = nullptr;
    QValueAxis* m_medianAxis = nullptr;

    NoteMapView* m_noteMap = nullptr;
    QTableWidget* m_missed = nullptr;
    QTableWidget* m_slowest = nullptr;
    QTableWidget* m_review = nullptr;
    std::array<tonvero::history::PracticeChances, 4> m_chances{};
};
