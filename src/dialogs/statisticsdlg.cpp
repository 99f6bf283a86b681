// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/statisticsdlg.h"

#include "history/historystore.h"
#include "history/notenames.h"
#include "music/key.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QStackedLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace tonvero;
using namespace tonvero::history;

// Reads the figures on the window's own thread, with a connection of its own.
class StatisticsLoader : public QObject {
public:
    explicit StatisticsLoader(HistoryStore& store) : m_store(store) {}

    StatisticsData load(const StatisticsFilter& filter)
    {
        // Answers still on their way to the file belong in the figures.
        m_store.flush(5000);
        return queries().statistics(filter);
    }

    PieceBarsData pieceBars(const StatisticsFilter& filter, const QString& pieceId)
    {
        return queries().pieceBars(filter, pieceId);
    }

    bool exportTo(const QString& file, const StatisticsFilter& filter, QString* error)
    {
        m_store.flush(5000);
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly)) {
            *error = out.errorString();
            return false;
        }
        if (!queries().exportCsv(filter, out, error)) {
            out.cancelWriting();
            return false;
        }
        if (!out.commit()) {
            *error = out.errorString();
            return false;
        }
        return true;
    }

private:
    HistoryQueries& queries()
    {
        if (!m_queries)
            m_queries = std::make_unique<HistoryQueries>(m_store.path());
        return *m_queries;
    }

    HistoryStore& m_store;
    std::unique_ptr<HistoryQueries> m_queries;
};

namespace {

// Okabe and Ito's colours, told apart with any colour vision; the rate is dashed as well.
const QColor AccuracyColour(0x00, 0x72, 0xB2);
const QColor RateColour(0xE6, 0x9F, 0x00);
const QColor MedianColour(0x00, 0x9E, 0x73);
// Markers are drawn while they do not crowd each other.
constexpr int MaxMarkedPoints = 60;
constexpr int AxisSteps = 5;
// Room above the top grid line, so a marker at 100 % is not cut in half by the plot's edge.
constexpr double AxisHeadroom = 1.04;

double niceCeiling(double v)
{
    if (v <= 0)
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(v)));
    for (double step : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (v <= step * magnitude)
            return step * magnitude;
    return 10 * magnitude;
}

// Just the decimals a step needs (0.25 two, 0.5 one, 10 none), in the "%.Nf" form
// that the charts write with the locale's decimal sign.
QString labelFormat(double step)
{
    int decimals = 0;
    while (decimals < 3 && std::abs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-9)
        ++decimals;
    return QStringLiteral("%.%1f").arg(decimals);
}

QString secondsText(int ms)
{
    return ms < 0 ? QStringLiteral("—") : QLocale().toString(ms / 1000.0, 'f', ms < 10000 ? 2 : 1);
}

QString modeText(ExerciseMode mode)
{
    switch (mode) {
    case ExerciseMode::Hint:
        return StatisticsDialog::tr("подсказка");
    case ExerciseMode::Exam:
        return StatisticsDialog::tr("экзамен");
    case ExerciseMode::Training:
        break;
    }
    return StatisticsDialog::tr("тренировка");
}

// As the kind box offers them.
QString kindChoiceText(ExerciseKind kind)
{
    switch (kind) {
    case ExerciseKind::Phrase:
        return StatisticsDialog::tr("Фразы");
    case ExerciseKind::Piece:
        return StatisticsDialog::tr("Пьесы");
    case ExerciseKind::SingleNote:
        break;
    }
    return StatisticsDialog::tr("Отдельные ноты");
}

// Beside an exercise's mode; nothing for single notes, as before lines of music.
QString kindText(ExerciseKind kind)
{
    switch (kind) {
    case ExerciseKind::Phrase:
        return StatisticsDialog::tr("фразы");
    case ExerciseKind::Piece:
        return StatisticsDialog::tr("пьеса");
    case ExerciseKind::SingleNote:
        break;
    }
    return QString();
}

// "Ре мажор (2♯)", "Ля минор".
QString keyText(const KeyFigures& k)
{
    QString name = music::Key(k.fifths, k.minor ? music::Mode::Minor : music::Mode::Major).displayName();
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    if (k.fifths != 0)
        name += QStringLiteral(" (%1%2)").arg(std::abs(k.fifths)).arg(QChar(k.fifths > 0 ? u'♯' : u'♭'));
    return name;
}

QString dateTimeText(qint64 ms)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), QLocale::ShortFormat);
}

QString dateText(qint64 ms)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms).date(), QLocale::ShortFormat);
}

QTableWidget* makeTable(const QStringList& headers, const QString& name)
{
    auto* t = new QTableWidget(0, int(headers.size()));
    t->setHorizontalHeaderLabels(headers);
    t->verticalHeader()->setVisible(false);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setAlternatingRowColors(true);
    t->setShowGrid(false);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    t->setAccessibleName(name);
    // A few rows at least; the rest scroll, so the window fits a small screen.
    t->setMinimumHeight(t->horizontalHeader()->sizeHint().height() + 4 * t->verticalHeader()->defaultSectionSize()
                        + 4);
    return t;
}

QTableWidgetItem* cell(const QString& text, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align);
    return item;
}

QLineSeries* makeSeries(const QString& name, const QColor& colour, Qt::PenStyle style)
{
    auto* s = new QLineSeries;
    s->setName(name);
    QPen pen(colour, 2.2, style, Qt::RoundCap, Qt::RoundJoin);
    s->setPen(pen);
    s->setColor(colour);
    return s;
}

QChart* makeChart(const QString& title)
{
    auto* c = new QChart;
    c->setTitle(title);
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->setAlignment(Qt::AlignBottom);
    c->setMargins(QMargins(4, 4, 4, 4));
    c->setBackgroundRoundness(0);
    // Axis numbers as the rest of the window writes them (a decimal comma in Russian).
    c->setLocalizeNumbers(true);
    c->setLocale(QLocale());
    return c;
}

} // namespace

QSize StatisticsDialog::fittingSize(const QSize& wanted) const
{
    const QScreen* shownOn = parentWidget() ? parentWidget()->screen() : screen();
    if (!shownOn)
        return wanted;
    // Room for the title bar and the frame that the window manager adds.
    const QRect room = shownOn->availableGeometry().adjusted(0, 0, -16, -48);
    return wanted.boundedTo(room.size()).expandedTo(minimumSizeHint());
}

StatisticsDialog::StatisticsDialog(HistoryStore& store, int clefSetting, qint64 sessionId, QWidget* parent)
    : QDialog(parent), m_store(store), m_sessionId(sessionId)
{
    setWindowTitle(tr("Статистика"));
    setAccessibleName(windowTitle());
    setSizeGripEnabled(true);

    m_summary = new QLabel;
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = m_summary->font();
    big.setPointSizeF(big.pointSizeF() * 1.15);
    m_summary->setFont(big);

    // The choice of period and grouping.
    m_period = new QComboBox;
    m_period->addItems({tr("неделя"), tr("месяц"), tr("год"), tr("всё время")});
    m_period->setCurrentIndex(int(Period::Month));
    auto* periodLabel = new QLabel(tr("&Период:"));
    periodLabel->setBuddy(m_period);
    // Every kind at first; the kinds the history has come with its figures.
    m_kind = new QComboBox;
    m_kind->addItem(tr("Все упражнения"), -1);
    m_kind->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_kindLabel = new QLabel(tr("Уп&ражнения:"));
    m_kindLabel->setBuddy(m_kind);
    m_byExercise = new QRadioButton(tr("по &упражнениям"));
    m_byDay = new QRadioButton(tr("по &дням"));
    m_byDay->setChecked(true);
    auto* grouping = new QButtonGroup(this);
    grouping->addButton(m_byExercise);
    grouping->addButton(m_byDay);
    m_export = new QPushButton(tr("&Экспорт в CSV..."));
    m_export->setToolTip(tr("Сохранить все ответы выбранного периода в таблицу CSV"));

    auto* choice = new QHBoxLayout;
    choice->addWidget(periodLabel);
    choice->addWidget(m_period);
    choice->addSpacing(16);
    choice->addWidget(m_kindLabel);
    choice->addWidget(m_kind);
    choice->addSpacing(16);
    choice->addWidget(m_byExercise);
    choice->addWidget(m_byDay);
    choice->addStretch(1);
    choice->addWidget(m_export);

    // Charts.
    m_mainChart = makeChart(tr("Точность и скорость"));
    m_accuracy = makeSeries(tr("Точность, %"), AccuracyColour, Qt::SolidLine);
    m_rate = makeSeries(tr("Верных нот в минуту"), RateColour, Qt::DashLine);
    m_mainChart->addSeries(m_accuracy);
    m_mainChart->addSeries(m_rate);
    m_medianChart = makeChart(tr("Медиана времени ответа"));
    m_median = makeSeries(tr("Медиана верного ответа, с"), MedianColour, Qt::SolidLine);
    m_medianChart->addSeries(m_median);

    m_accuracyAxis = new QValueAxis;
    m_accuracyAxis->setRange(0, 100 * AxisHeadroom);
    m_accuracyAxis->setTickType(QValueAxis::TicksDynamic);
    m_accuracyAxis->setTickAnchor(0);
    m_accuracyAxis->setTickInterval(100.0 / AxisSteps);
    m_accuracyAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_accuracyAxis->setTitleText(tr("точность, %"));
    m_accuracyAxis->setLinePenColor(AccuracyColour);
    m_rateAxis = new QValueAxis;
    m_rateAxis->setTickCount(AxisSteps + 1);
    m_rateAxis->setTitleText(tr("нот в минуту"));
    m_rateAxis->setLinePenColor(RateColour);
    m_medianAxis = new QValueAxis;
    m_medianAxis->setTickCount(AxisSteps + 1);
    m_medianAxis->setTitleText(tr("секунды"));
    m_mainChart->addAxis(m_accuracyAxis, Qt::AlignLeft);
    m_mainChart->addAxis(m_rateAxis, Qt::AlignRight);
    m_medianChart->addAxis(m_medianAxis, Qt::AlignLeft);
    m_accuracy->attachAxis(m_accuracyAxis);
    m_rate->attachAxis(m_rateAxis);
    m_median->attachAxis(m_medianAxis);

    m_mainIndex = new QValueAxis;
    m_medianIndex = new QValueAxis;
    m_mainDays = new QDateTimeAxis;
    m_medianDays = new QDateTimeAxis;
    for (QValueAxis* a : {m_mainIndex, m_medianIndex}) {
        a->setLabelFormat(QStringLiteral("%.0f"));
        a->setTitleText(tr("упражнение"));
    }
    for (QDateTimeAxis* a : {m_mainDays, m_medianDays})
        a->setFormat(QStringLiteral("dd.MM"));
    // Both kinds of x axis stay in their charts; the grouping shows one of them.
    m_mainChart->addAxis(m_mainIndex, Qt::AlignBottom);
    m_mainChart->addAxis(m_mainDays, Qt::AlignBottom);
    m_medianChart->addAxis(m_medianIndex, Qt::AlignBottom);
    m_medianChart->addAxis(m_medianDays, Qt::AlignBottom);

    for (QLineSeries* s : {m_accuracy, m_rate, m_median})
        connect(s, &QLineSeries::hovered, this, &StatisticsDialog::showPointTip);

    auto* mainView = new QChartView(m_mainChart);
    mainView->setRenderHint(QPainter::Antialiasing);
    mainView->setAccessibleName(m_mainChart->title());
    mainView->setMinimumHeight(180);
    auto* medianView = new QChartView(m_medianChart);
    medianView->setRenderHint(QPainter::Antialiasing);
    medianView->setAccessibleName(m_medianChart->title());
    medianView->setMinimumHeight(140);
    auto* charts = new QWidget;
    auto* chartsLayout = new QVBoxLayout(charts);
    chartsLayout->setContentsMargins(0, 0, 0, 0);
    chartsLayout->addWidget(mainView, 3);
    chartsLayout->addWidget(medianView, 2);
    // Markers are redrawn whole when the series change under them.
    for (QChartView* v : {mainView, medianView})
        v->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    m_noCharts = new QLabel(tr("За выбранный период ответов нет: графикам нечего показать."));
    m_noCharts->setAlignment(Qt::AlignCenter);
    m_noCharts->setWordWrap(true);
    m_chartsPage = new QWidget;
    m_chartsStack = new QStackedLayout(m_chartsPage);
    m_chartsStack->addWidget(charts);
    m_chartsStack->addWidget(m_noCharts);

    // The note map and its lists.
    m_clef = new QComboBox;
    m_clef->addItems({tr("скрипичный"), tr("басовый"), tr("альтовый"), tr("скрипичный и басовый")});
    m_clef->setCurrentIndex(clefSetting >= 0 && clefSetting <= 3 ? clefSetting : 3);
    auto* clefLabel = new QLabel(tr("&Ключ:"));
    clefLabel->setBuddy(m_clef);
    m_byErrors = new QRadioButton(tr("по доле &ошибок"));
    m_byTime = new QRadioButton(tr("по &времени ответа"));
    m_byErrors->setChecked(true);
    auto* metric = new QButtonGroup(this);
    metric->addButton(m_byErrors);
    metric->addButton(m_byTime);
    auto* mapChoice = new QHBoxLayout;
    mapChoice->addWidget(clefLabel);
    mapChoice->addWidget(m_clef);
    mapChoice->addSpacing(16);
    mapChoice->addWidget(new QLabel(tr("Цвет:")));
    mapChoice->addWidget(m_byErrors);
    mapChoice->addWidget(m_byTime);
    mapChoice->addSpacing(16);
    m_fixedScale = new QCheckBox(tr("Постоянная &шкала"));
    m_fixedScale->setToolTip(tr("Шкала цвета от 0 до 50 % ошибок или от 0 до 5 с, а не по самой трудной ноте: "
                                "небольшая разница не выглядит большой"));
    mapChoice->addWidget(m_fixedScale);
    mapChoice->addStretch(1);

    m_noteMap = new NoteMapView;
    m_missed = makeTable({tr("Нота"), tr("Ключ"), tr("Ошибок"), tr("Ответов"), tr("Доля ошибок")},
                         tr("Чаще всего ошибки"));
    m_slowest = makeTable({tr("Нота"), tr("Ключ"), tr("Медиана, с"), tr("Верных ответов")}, tr("Медленнее всего"));
    auto* missedBox = new QGroupBox(tr("Чаще всего ошибки"));
    (new QVBoxLayout(missedBox))->addWidget(m_missed);
    auto* slowestBox = new QGroupBox(tr("Медленнее всего"));
    (new QVBoxLayout(slowestBox))->addWidget(m_slowest);
    m_review = makeTable({tr("Нота"), tr("Ключ"), tr("Ящик")}, tr("Что повторить"));
    m_review->setToolTip(tr("Ноты, которые программа сейчас показывает чаще: ящик 0 — после ошибки, "
                            "ящик 3 — выучена"));
    auto* reviewBox = new QGroupBox(tr("Что повторить"));
    (new QVBoxLayout(reviewBox))->addWidget(m_review);
    auto* lists = new QHBoxLayout;
    lists->addWidget(missedBox);
    lists->addWidget(slowestBox);
    lists->addWidget(reviewBox);

    auto* mapContents = new QWidget;
    auto* mapLayout = new QVBoxLayout(mapContents);
    mapLayout->setContentsMargins(0, 4, 0, 0);
    mapLayout->addLayout(mapChoice);
    mapLayout->addWidget(m_noteMap);
    mapLayout->addLayout(lists, 1);
    // The map is as tall as its staves need: on a low screen the page scrolls
    // instead of the window growing past the screen.
    auto* mapPage = new QScrollArea;
    m_mapPage = mapPage;
    mapPage->setWidget(mapContents);
    mapPage->setWidgetResizable(true);
    mapPage->setFrameShape(QFrame::NoFrame);
    mapPage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mapPage->setFocusPolicy(Qt::NoFocus);
    mapPage->setAccessibleName(tr("Карта нот и списки"));

    // Lines of music by key signature.
    m_keys = makeTable({tr("Тональность"), tr("Ответов"), tr("Верно"), tr("Среднее время, с")},
                       tr("Тональности"));
    m_keys->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_keys->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_keys->setSelectionMode(QAbstractItemView::SingleSelection);
    m_keys->horizontalHeaderItem(3)->setToolTip(tr("Среднее время верного ответа; ответ дольше минуты "
                                                   "считается за минуту"));
    auto* keysAbout = new QLabel(tr("Ответы во фразах и пьесах по тональностям, от семи бемолей до семи диезов."));
    keysAbout->setWordWrap(true);
    auto* keysTable = new QWidget;
    auto* keysLayout = new QVBoxLayout(keysTable);
    keysLayout->setContentsMargins(0, 4, 0, 0);
    keysLayout->addWidget(keysAbout);
    keysLayout->addWidget(m_keys, 1);
    m_noKeys = new QLabel(tr("За выбранный период ответов во фразах и пьесах нет."));
    m_noKeys->setAlignment(Qt::AlignCenter);
    m_noKeys->setWordWrap(true);
    m_keysPage = new QWidget(this);
    m_keysStack = new QStackedLayout(m_keysPage);
    m_keysStack->addWidget(keysTable);
    m_keysStack->addWidget(m_noKeys);

    // A piece's bars.
    m_piece = new QComboBox;
    // As wide as its titles, which are cut short so that the window keeps to a small screen.
    m_piece->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* pieceLabel = new QLabel(tr("Пь&еса:"));
    pieceLabel->setBuddy(m_piece);
    m_pieceSummary = new QLabel;
    m_pieceSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* pieceChoice = new QHBoxLayout;
    pieceChoice->addWidget(pieceLabel);
    pieceChoice->addWidget(m_piece);
    pieceChoice->addSpacing(16);
    pieceChoice->addWidget(m_pieceSummary, 1);
    m_strip = new PieceStripView;
    // However many bars, the strip wraps into rows and the rows scroll.
    auto* stripArea = new QScrollArea;
    stripArea->setWidget(m_strip);
    stripArea->setWidgetResizable(true);
    stripArea->setFrameShape(QFrame::NoFrame);
    stripArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stripArea->setFocusPolicy(Qt::NoFocus);
    stripArea->setAccessibleName(tr("Такты пьесы"));
    connect(m_strip, &PieceStripView::currentBarChanged, stripArea, [stripArea, strip = m_strip](int bar) {
        const QRect cell = strip->cellRect(bar).toAlignedRect();
        stripArea->ensureVisible(cell.center().x(), cell.center().y(), cell.width(), cell.height() * 2);
    });
    m_barNote = new QLabel;
    m_barNote->setWordWrap(true);
    m_barNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* piecesContents = new QWidget;
    auto* piecesLayout = new QVBoxLayout(piecesContents);
    piecesLayout->setContentsMargins(0, 4, 0, 0);
    piecesLayout->addLayout(pieceChoice);
    piecesLayout->addWidget(stripArea, 1);
    piecesLayout->addWidget(m_barNote);
    m_noPieces = new QLabel(tr("За выбранный период ответов в пьесах нет."));
    m_noPieces->setAlignment(Qt::AlignCenter);
    m_noPieces->setWordWrap(true);
    m_piecesPage = new QWidget(this);
    m_piecesStack = new QStackedLayout(m_piecesPage);
    m_piecesStack->addWidget(piecesContents);
    m_piecesStack->addWidget(m_noPieces);
    m_piecesPage->hide();

    m_tabs = new QTabWidget;
    m_tabs->addTab(m_chartsPage, tr("&Графики"));
    m_tabs->addTab(mapPage, tr("Карта &нот"));
    // The keys' tab comes once the history has lines of music (fillKeys).
    m_keysPage->hide();
    m_tabs->setAccessibleName(tr("Вид статистики"));

    m_status = new QLabel;
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* close = new QPushButton(tr("&Закрыть"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    m_deleteExercise = new QPushButton(m_sessionId != 0 ? tr("Уд&алить это упражнение...") : tr("Уд&алить упражнение..."));
    m_deleteExercise->setToolTip(tr("Убрать из истории одно неудачное упражнение со всеми его ответами"));
    m_deleteExercise->setAutoDefault(false);
    m_deleteAll = new QPushButton(tr("Удалить всю &историю..."));
    m_deleteAll->setToolTip(tr("Убрать из истории все упражнения и ответы"));
    m_deleteAll->setAutoDefault(false);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_deleteExercise);
    bottom->addWidget(m_deleteAll);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addLayout(choice);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(bottom);

    if (m_sessionId != 0) {
        // One exercise: no period to choose, and no series to draw.
        periodLabel->hide();
        m_period->hide();
        m_kindLabel->hide();
        m_kind->hide();
        m_byExercise->hide();
        m_byDay->hide();
        m_tabs->removeTab(0);
        m_chartsPage->hide();
        m_export->setToolTip(tr("Сохранить ответы этого упражнения в таблицу CSV"));
        m_deleteAll->hide();
        reviewBox->hide();
    }

    setTabOrder(m_period, m_kind);
    setTabOrder(m_kind, m_byExercise);
    setTabOrder(m_byExercise, m_byDay);
    setTabOrder(m_byDay, m_export);
    setTabOrder(m_export, m_tabs);
    setTabOrder(m_tabs, m_clef);
    setTabOrder(m_clef, m_byErrors);
    setTabOrder(m_byErrors, m_byTime);
    setTabOrder(m_byTime, m_fixedScale);
    setTabOrder(m_fixedScale, m_missed);
    setTabOrder(m_missed, m_slowest);
    setTabOrder(m_slowest, m_review);
    setTabOrder(m_review, m_keys);
    setTabOrder(m_keys, m_piece);
    setTabOrder(m_piece, m_strip);
    setTabOrder(m_strip, m_deleteExercise);
    setTabOrder(m_deleteExercise, m_deleteAll);
    setTabOrder(m_deleteAll, close);

    connect(m_period, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    connect(m_byDay, &QRadioButton::toggled, this, [this] { fillCharts(); });
    connect(m_clef, &QComboBox::currentIndexChanged, this, [this] {
        fillNoteMap();
        fillTables();
    });
    connect(m_byTime, &QRadioButton::toggled, this, [this](bool on) {
        m_noteMap->setMetric(on ? NoteMapView::Metric::ResponseTime : NoteMapView::Metric::Errors);
    });
    connect(m_fixedScale, &QCheckBox::toggled, m_noteMap, &NoteMapView::setFixedScale);
    connect(m_piece, &QComboBox::currentIndexChanged, this, [this] { loadPiece(m_piece->currentData().toString()); });
    connect(m_strip, &PieceStripView::currentBarChanged, this,
            [this](int bar) { m_barNote->setText(m_strip->barText(bar).replace(u'\n', QStringLiteral(" · "))); });
    connect(m_export, &QPushButton::clicked, this, &StatisticsDialog::chooseExportFile);
    connect(m_deleteExercise, &QPushButton::clicked, this, [this] {
        if (m_sessionId != 0)
            deleteExercise(m_sessionId);
        else
            chooseExerciseToDelete();
    });
    connect(m_deleteAll, &QPushButton::clicked, this, &StatisticsDialog::deleteAll);

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("statistics"));
    m_loader = new StatisticsLoader(m_store);
    m_loader->moveToThread(m_thread);
    m_thread->start();

    resize(fittingSize(QSize(1040, 800)));
    // The first reading starts from the event loop, so a choice made right after
    // construction (a period, say) is the first thing read.
    m_loading = true;
    QMetaObject::invokeMethod(
        this, [this] {
            if (m_generation == 0)
                reload();
        },
        Qt::QueuedConnection);
}

StatisticsDialog::~StatisticsDialog()
{
    // The loader's connection belongs to its thread: it goes there, after any read in progress.
    QMetaObject::invokeMethod(m_loader, [loader = m_loader] { delete loader; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

StatisticsFilter StatisticsDialog::currentFilter() const
{
    StatisticsFilter f;
    if (m_sessionId != 0)
        f.sessionId = m_sessionId;
    else
        f.fromMs = periodStartMs(Period(m_period->currentIndex()), QDateTime::currentDateTime());
    if (const int kind = m_kind->currentData().toInt(); m_sessionId == 0 && kind >= 0)
        f.kind = ExerciseKind(kind);
    return f;
}

bool StatisticsDialog::byDay() const
{
    return m_byDay->isChecked();
}

int StatisticsDialog::clef() const
{
    return m_clef->currentIndex();
}

void StatisticsDialog::setPeriod(Period period)
{
    m_period->setCurrentIndex(int(period));
}

void StatisticsDialog::setByDay(bool on)
{
    (on ? m_byDay : m_byExercise)->setChecked(true);
}

void StatisticsDialog::setClef(int clefSetting)
{
    m_clef->setCurrentIndex(std::clamp(clefSetting, 0, 3));
}

void StatisticsDialog::setMetric(NoteMapView::Metric metric)
{
    (metric == NoteMapView::Metric::ResponseTime ? m_byTime : m_byErrors)->setChecked(true);
}

void StatisticsDialog::setKind(std::optional<ExerciseKind> kind)
{
    const int wanted = kind ? int(*kind) : -1;
    int at = m_kind->findData(wanted);
    if (at < 0) {
        // Offered even before the history shows answers of it, in the order of the kinds.
        at = 1;
        while (at < m_kind->count() && m_kind->itemData(at).toInt() < wanted)
            ++at;
        const QSignalBlocker quiet(m_kind);
        m_kind->insertItem(at, kindChoiceText(*kind), wanted);
    }
    m_kind->setCurrentIndex(at);
}

void StatisticsDialog::showNoteMap()
{
    m_tabs->setCurrentWidget(m_mapPage);
}

void StatisticsDialog::showKeys()
{
    if (m_tabs->indexOf(m_keysPage) >= 0)
        m_tabs->setCurrentWidget(m_keysPage);
}

QLabel* StatisticsDialog::noKeysNote() const
{
    return m_keysStack->currentWidget() == m_noKeys ? m_noKeys : nullptr;
}

void StatisticsDialog::showPieces()
{
    if (m_tabs->indexOf(m_piecesPage) >= 0)
        m_tabs->setCurrentWidget(m_piecesPage);
}

void StatisticsDialog::setPiece(const QString& pieceId)
{
    m_wantedPiece = pieceId;
    const int at = m_piece->findData(pieceId);
    if (at < 0 || m_loading)
        return; // the next reading shows it, if the period has it
    if (at == m_piece->currentIndex())
        QMetaObject::invokeMethod(this, &StatisticsDialog::pieceShown, Qt::QueuedConnection);
    else
        m_piece->setCurrentIndex(at);
}

QLabel* StatisticsDialog::noPiecesNote() const
{
    return m_piecesStack->currentWidget() == m_noPieces ? m_noPieces : nullptr;
}

QString StatisticsDialog::barNote() const
{
    return m_barNote->text();
}

void StatisticsDialog::loadPiece(const QString& pieceId)
{
    m_wantedPiece = pieceId;
    const int generation = ++m_pieceGeneration;
    const StatisticsFilter filter = currentFilter();
    QMetaObject::invokeMethod(m_loader, [this, loader = m_loader, generation, filter, pieceId] {
        PieceBarsData bars = loader->pieceBars(filter, pieceId);
        QMetaObject::invokeMethod(
            this,
            [this, generation, bars = std::move(bars)] {
                if (generation != m_pieceGeneration)
                    return; // another piece or period was chosen meanwhile
                showPieceBars(bars);
                emit pieceShown();
            },
            Qt::QueuedConnection);
    });
}

void StatisticsDialog::reload()
{
    const int generation = ++m_generation;
    ++m_pieceGeneration;
    m_loading = true;
    const StatisticsFilter filter = currentFilter();
    const QString wantedPiece = m_wantedPiece;
    QMetaObject::invokeMethod(m_loader, [this, loader = m_loader, store = &m_store, generation, filter, wantedPiece] {
        StatisticsData data = loader->load(filter);
        // The piece shown before, while the period has it; else the latest practised.
        QString pieceId;
        for (const PieceFigures& p : data.pieces)
            if (p.id == wantedPiece)
                pieceId = p.id;
        if (pieceId.isEmpty() && !data.pieces.isEmpty())
            pieceId = data.pieces.front().id;
        PieceBarsData bars = pieceId.isEmpty() ? PieceBarsData{} : loader->pieceBars(filter, pieceId);
        // What the practice memory favours now, for every clef setting; it may wait for the file.
        std::array<PracticeChances, 4> chances{};
        for (int c = 0; c < 4; ++c)
            chances[std::size_t(c)] = store->practiceChances(c);
        QMetaObject::invokeMethod(
            this,
            [this, generation, data = std::move(data), chances, bars = std::move(bars)] {
                m_chances = chances;
                onLoaded(generation, data, bars);
            },
            Qt::QueuedConnection);
    });
}

void StatisticsDialog::onLoaded(int generation, const StatisticsData& data, const PieceBarsData& bars)
{
    if (generation != m_generation)
        return; // a later choice is on its way
    m_data = data;
    m_pieceBars = bars;
    m_loading = false;
    fillSummary();
    fillCharts();
    fillNoteMap();
    fillTables();
    fillKinds();
    fillKeys();
    fillPieces();
    emit dataShown();
}

QString StatisticsDialog::summaryText() const
{
    return m_summary->text();
}

QString StatisticsDialog::statusText() const
{
    return m_status->text();
}

void StatisticsDialog::fillSummary()
{
    const QLocale locale;
    if (!m_data.error.isEmpty()) {
        m_summary->setText(tr("Историю упражнений не удалось прочитать: %1").arg(m_data.error));
        return;
    }
    QString head;
    if (m_sessionId != 0) {
        head = tr("Упражнение %1").arg(dateTimeText(m_sessionId));
        if (!m_data.exercises.isEmpty()) {
            const SeriesPoint& e = m_data.exercises.front();
            head += QStringLiteral(" · ") + modeText(e.mode);
            if (e.kind != ExerciseKind::SingleNote)
                head += QStringLiteral(" · ") + kindText(e.kind);
            if (e.mode == ExerciseMode::Exam)
                head += QStringLiteral(" · ")
                    + (e.examCompleted ? tr("%1 мин до конца").arg(e.examMinutes) : tr("остановлен раньше"));
        }
    }
    if (m_data.total.answers == 0) {
        m_summary->setText(head.isEmpty() ? tr("За выбранный период ответов нет.")
                                          : head + QStringLiteral("\n") + tr("В этом упражнении ответов нет."));
        return;
    }
    const NoteFigures& t = m_data.total;
    QStringList parts;
    if (m_sessionId == 0)
        parts << tr("Упражнений: %1").arg(locale.toString(qlonglong(m_data.exercises.size())));
    parts << tr("Ответов: %1").arg(locale.toString(t.answers))
          << tr("Точность: %1 %").arg(locale.toString(100.0 - t.errorPercent(), 'f', 1))
          << tr("Верных нот в минуту: %1").arg(locale.toString(m_data.rightPerMinute, 'f', 1))
          << tr("Медиана верного ответа: %1 с").arg(secondsText(t.medianMs));
    const QString figures = parts.join(QStringLiteral(" · "));
    m_summary->setText(head.isEmpty() ? figures : head + QStringLiteral("\n") + figures);
}

void StatisticsDialog::fillCharts()
{
    if (m_sessionId != 0)
        return;
    const bool days = byDay();
    const QVector<SeriesPoint>& points = days ? m_data.days : m_data.exercises;
    QList<QPointF> accuracy, rate, median;
    accuracy.reserve(points.size());
    rate.reserve(points.size());
    double maxRate = 0, maxMedian = 0;
    for (int i = 0; i < points.size(); ++i) {
        const SeriesPoint& p = points[i];
        const qreal x = days ? qreal(p.startMs) : qreal(i + 1);
        accuracy.push_back({x, p.accuracyPercent});
        rate.push_back({x, p.rightPerMinute});
        maxRate = std::max(maxRate, p.rightPerMinute);
        if (p.medianMs >= 0) {
            median.push_back({x, p.medianMs / 1000.0});
            maxMedian = std::max(maxMedian, p.medianMs / 1000.0);
        }
    }
    m_chartsStack->setCurrentIndex(points.isEmpty() ? 1 : 0);
    m_accuracy->replace(accuracy);
    m_rate->replace(rate);
    m_median->replace(median);
    const bool marked = points.size() <= MaxMarkedPoints;
    for (QLineSeries* s : {m_accuracy, m_rate, m_median}) {
        s->setPointsVisible(marked);
        s->setMarkerSize(marked ? 6 : 0);
    }
    // Five equal steps on every axis, so the two axes of a chart share their grid lines.
    for (const auto& [axis, top] : {std::pair{m_rateAxis, maxRate}, std::pair{m_medianAxis, maxMedian}}) {
        const double step = niceCeiling(top * 1.05 / AxisSteps);
        axis->setRange(0, AxisSteps * step * AxisHeadroom);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setTickInterval(step);
        axis->setLabelFormat(labelFormat(step));
    }

    // Show the x axis of the grouping, attached to the series.
    struct Pair {
        QChart* chart;
        QValueAxis* index;
        QDateTimeAxis* dates;
        QList<QLineSeries*> series;
    };
    for (const Pair& pair : {Pair{m_mainChart, m_mainIndex, m_mainDays, {m_accuracy, m_rate}},
                             Pair{m_medianChart, m_medianIndex, m_medianDays, {m_median}}}) {
        QAbstractAxis* shown = days ? static_cast<QAbstractAxis*>(pair.dates) : pair.index;
        QAbstractAxis* hidden = days ? static_cast<QAbstractAxis*>(pair.index) : pair.dates;
        for (QLineSeries* s : pair.series) {
            if (s->attachedAxes().contains(hidden))
                s->detachAxis(hidden);
            if (!s->attachedAxes().contains(shown))
                s->attachAxis(shown);
        }
        hidden->setVisible(false);
        shown->setVisible(true);
        if (days) {
            const qint64 day = 24 * 3600 * 1000;
            const qint64 last = points.isEmpty() ? QDateTime::currentMSecsSinceEpoch() : points.back().startMs;
            // A week at least, so that a day or two read as days and not as a span between two dates.
            const qint64 first = std::min(points.isEmpty() ? last : points.front().startMs, last - 6 * day);
            const qint64 spanDays = (last - first + day / 2) / day;
            if (spanDays <= 8) {
                // A tick on each day's start, where its point lies, and a free day at both ends.
                pair.dates->setRange(QDateTime::fromMSecsSinceEpoch(first - day),
                                     QDateTime::fromMSecsSinceEpoch(last + day));
                pair.dates->setTickCount(int(spanDays + 3));
            } else {
                pair.dates->setRange(QDateTime::fromMSecsSinceEpoch(first - day / 2),
                                     QDateTime::fromMSecsSinceEpoch(last + day / 2));
                pair.dates->setTickCount(8);
            }
        } else {
            const int n = int(points.size());
            pair.index->setRange(0.5, std::max(n, 1) + 0.5);
            pair.index->setTickType(QValueAxis::TicksDynamic);
            pair.index->setTickAnchor(1);
            pair.index->setTickInterval(std::max(1.0, niceCeiling(n / 8.0)));
        }
    }
}

void StatisticsDialog::showPointTip(const QPointF& point, bool state)
{
    if (!state) {
        QToolTip::hideText();
        return;
    }
    const bool days = byDay();
    const QVector<SeriesPoint>& points = days ? m_data.days : m_data.exercises;
    if (points.isEmpty())
        return;
    int best = 0;
    if (days) {
        for (int i = 1; i < points.size(); ++i)
            if (std::abs(points[i].startMs - point.x()) < std::abs(points[best].startMs - point.x()))
                best = i;
    } else {
        best = std::clamp(int(std::lround(point.x())) - 1, 0, int(points.size()) - 1);
    }
    const SeriesPoint& p = points[best];
    const QLocale locale;
    QString text = days ? dateText(p.startMs) : tr("Упражнение %1, %2").arg(best + 1).arg(dateTimeText(p.startMs));
    if (!days) {
        text += QStringLiteral(" · ") + modeText(p.mode);
        if (p.kind != ExerciseKind::SingleNote)
            text += QStringLiteral(" · ") + kindText(p.kind);
        if (p.mode == ExerciseMode::Exam)
            text += QStringLiteral(" ") + tr("%1 мин").arg(p.examMinutes);
        if (!p.ended)
            text += QStringLiteral(" · ") + tr("не завершено");
    }
    text += u'\n' + tr("Точность: %1 % (%2 из %3)")
                        .arg(locale.toString(p.accuracyPercent, 'f', 1))
                        .arg(p.right)
                        .arg(p.answers);
    text += u'\n' + tr("Верных нот в минуту: %1").arg(locale.toString(p.rightPerMinute, 'f', 1));
    text += u'\n' + tr("Медиана верного ответа: %1 с").arg(secondsText(p.medianMs));
    QToolTip::showText(QCursor::pos(), text, this);
}

void StatisticsDialog::fillNoteMap()
{
    m_noteMap->setMap(m_data.maps[std::size_t(clef())], clef());
}

void StatisticsDialog::fillTables()
{
    const NoteMapData& map = m_data.maps[std::size_t(clef())];
    const QLocale locale;
    const Qt::Alignment number = Qt::AlignRight | Qt::AlignVCenter;
    m_missed->setRowCount(int(map.mostMissed.size()));
    for (int row = 0; row < map.mostMissed.size(); ++row) {
        const SpelledNote& n = map.mostMissed[row];
        m_missed->setItem(row, 0, cell(displayName(n.keyIndex, n.spelling)));
        m_missed->setItem(row, 1, cell(readingClefName(n.readingClef)));
        m_missed->setItem(row, 2, cell(locale.toString(n.figures.errors), number));
        m_missed->setItem(row, 3, cell(locale.toString(n.figures.answers), number));
        m_missed->setItem(row, 4, cell(QStringLiteral("%1 %").arg(locale.toString(n.figures.errorPercent(), 'f', 0)),
                                       number));
    }
    m_slowest->setRowCount(int(map.slowest.size()));
    for (int row = 0; row < map.slowest.size(); ++row) {
        const SpelledNote& n = map.slowest[row];
        m_slowest->setItem(row, 0, cell(displayName(n.keyIndex, n.spelling)));
        m_slowest->setItem(row, 1, cell(readingClefName(n.readingClef)));
        m_slowest->setItem(row, 2, cell(secondsText(n.figures.medianMs), number));
        m_slowest->setItem(row, 3, cell(locale.toString(n.figures.answers - n.figures.errors), number));
    }

    // The practice memory's favourites: the lowest boxes first, low notes before high.
    struct Review {
        int staff, key, box;
    };
    QVector<Review> review;
    const PracticeChances& chances = m_chances[std::size_t(clef())];
    for (int staff = 0; staff < 2; ++staff)
        for (int key = 0; key < KeyCount; ++key)
            if (const int extra = chances[std::size_t(staff)][std::size_t(key)]; extra > 0)
                review.push_back({staff, key, PracticeWeights::LearnedBox - extra});
    std::stable_sort(review.begin(), review.end(), [](const Review& a, const Review& b) { return a.box < b.box; });
    m_review->setRowCount(int(review.size()));
    for (int row = 0; row < review.size(); ++row) {
        const Review& r = review[row];
        const QString name = isBlackKey(r.key) ? QStringLiteral("%1 / %2").arg(displayName(r.key, Spelling::Sharp),
                                                                              displayName(r.key, Spelling::Flat))
                                               : displayName(r.key, Spelling::Natural);
        m_review->setItem(row, 0, cell(name));
        m_review->setItem(row, 1, cell(readingClefName(readingClef(clef(), r.staff))));
        m_review->setItem(row, 2, cell(locale.toString(r.box), number));
    }
}

void StatisticsDialog::fillKinds()
{
    if (m_sessionId != 0 || !m_data.error.isEmpty())
        return;
    // Every kind the history has, and the one chosen even when it has none.
    const int chosen = m_kind->currentData().toInt();
    QList<int> offered{-1};
    for (ExerciseKind k : m_data.kinds)
        offered << int(k);
    if (!offered.contains(chosen))
        offered << chosen;
    std::sort(offered.begin(), offered.end());
    const QSignalBlocker quiet(m_kind);
    for (int i = m_kind->count() - 1; i >= 1; --i)
        if (!offered.contains(m_kind->itemData(i).toInt()))
            m_kind->removeItem(i);
    for (int i = 1; i < offered.size(); ++i)
        if (i >= m_kind->count() || m_kind->itemData(i).toInt() != offered[i])
            m_kind->insertItem(i, kindChoiceText(ExerciseKind(offered[i])), offered[i]);
    m_kind->setCurrentIndex(m_kind->findData(chosen));
}

void StatisticsDialog::fillKeys()
{
    // The tab only where there are lines of music: in the history, or in the one exercise shown.
    const bool wanted = m_sessionId != 0 ? !m_data.keys.isEmpty()
                                         : std::any_of(m_data.kinds.begin(), m_data.kinds.end(),
                                                       [](ExerciseKind k) { return k != ExerciseKind::SingleNote; });
    const int at = m_tabs->indexOf(m_keysPage);
    if (wanted && at < 0)
        m_tabs->addTab(m_keysPage, tr("&Тональности"));
    else if (!wanted && at >= 0)
        m_tabs->removeTab(at);
    m_keysStack->setCurrentIndex(m_data.keys.isEmpty() ? 1 : 0);
    const QLocale locale;
    const Qt::Alignment number = Qt::AlignRight | Qt::AlignVCenter;
    m_keys->setRowCount(int(m_data.keys.size()));
    for (int row = 0; row < m_data.keys.size(); ++row) {
        const KeyFigures& k = m_data.keys[row];
        m_keys->setItem(row, 0, cell(keyText(k)));
        m_keys->setItem(row, 1, cell(locale.toString(k.answers), number));
        m_keys->setItem(row, 2, cell(QStringLiteral("%1 (%2 %)")
                                         .arg(locale.toString(k.right), locale.toString(k.accuracyPercent(), 'f', 0)),
                                     number));
        m_keys->setItem(row, 3, cell(secondsText(k.meanMs), number));
    }
}

QString StatisticsDialog::pieceTitle(const PieceFigures& piece) const
{
    return piece.title.isEmpty() ? tr("Пьеса без названия (%1)").arg(piece.id.left(8)) : piece.title;
}

void StatisticsDialog::fillPieces()
{
    // The tab only where there are pieces: in the history, or in the one exercise shown.
    const bool wanted = m_sessionId != 0 ? !m_data.pieces.isEmpty() : m_data.hasPieces;
    const int at = m_tabs->indexOf(m_piecesPage);
    if (wanted && at < 0) {
        const int keys = m_tabs->indexOf(m_keysPage);
        m_tabs->insertTab(keys >= 0 ? keys + 1 : m_tabs->count(), m_piecesPage, tr("Пье&сы"));
    } else if (!wanted && at >= 0) {
        m_tabs->removeTab(at);
    }
    m_piecesStack->setCurrentIndex(m_data.pieces.isEmpty() ? 1 : 0);
    {
        const QSignalBlocker quiet(m_piece);
        m_piece->clear();
        constexpr int LongestTitle = 40;
        for (const PieceFigures& p : m_data.pieces) {
            const QString title = pieceTitle(p);
            m_piece->addItem(title.size() > LongestTitle ? title.left(LongestTitle - 1) + u'…' : title, p.id);
            m_piece->setItemData(m_piece->count() - 1,
                                 tr("%1 · ответов: %2 · %3")
                                     .arg(title, QLocale().toString(p.answers), dateText(p.lastMs)),
                                 Qt::ToolTipRole);
        }
        m_piece->setCurrentIndex(m_piece->findData(m_pieceBars.id));
    }
    showPieceBars(m_pieceBars);
    // A piece asked for while the figures were on their way.
    if (const int wanted = m_piece->findData(m_wantedPiece); wanted >= 0 && m_wantedPiece != m_pieceBars.id)
        m_piece->setCurrentIndex(wanted);
}

void StatisticsDialog::showPieceBars(const PieceBarsData& bars)
{
    m_pieceBars = bars;
    m_strip->setBars(bars.bars);
    const QLocale locale;
    const auto piece = std::find_if(m_data.pieces.cbegin(), m_data.pieces.cend(),
                                    [&](const PieceFigures& p) { return p.id == bars.id; });
    if (piece != m_data.pieces.cend()) {
        m_pieceSummary->setText(tr("Тактов: %1 · ответов: %2 · верно: %3 % · последний раз %4")
                                    .arg(locale.toString(qlonglong(bars.bars.size())), locale.toString(piece->answers),
                                         locale.toString(piece->answers > 0 ? 100.0 * piece->right / piece->answers
                                                                            : 0.0,
                                                         'f', 0),
                                         dateText(piece->lastMs)));
    } else {
        m_pieceSummary->clear();
    }
    if (!bars.error.isEmpty())
        m_barNote->setText(tr("Такты пьесы не удалось прочитать: %1").arg(bars.error));
    else if (m_strip->currentBar() >= 0)
        m_barNote->setText(m_strip->barText(m_strip->currentBar()).replace(u'\n', QStringLiteral(" · ")));
    else
        m_barNote->setText(tr("Наведите указатель на такт или выберите его стрелками, чтобы увидеть его цифры."));
}

void StatisticsDialog::chooseExportFile()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(folder.isEmpty() ? QDir::homePath() : folder)
                                  .filePath(QStringLiteral("tonvero-%1.csv")
                                                .arg(QDate::currentDate().toString(Qt::ISODate)));
    const QString file = QFileDialog::getSaveFileName(this, tr("Экспорт ответов"), suggested,
                                                      tr("Таблицы CSV (*.csv)"));
    if (!file.isEmpty())
        exportTo(file);
}

void StatisticsDialog::exportTo(const QString& file)
{
    if (!m_loading && m_data.error.isEmpty() && m_data.total.answers == 0) {
        const QString message = tr("Нечего экспортировать: за выбранный период ответов нет.");
        m_status->setText(message);
        emit exportFinished(false, message);
        return;
    }
    m_export->setEnabled(false);
    m_status->setText(tr("Сохранение..."));
    const StatisticsFilter filter = currentFilter();
    QMetaObject::invokeMethod(m_loader, [this, loader = m_loader, file, filter] {
        QString error;
        const bool ok = loader->exportTo(file, filter, &error);
        QMetaObject::invokeMethod(this, [this, ok, file, error] { onExported(ok, file, error); }, Qt::QueuedConnection);
    });
}

void StatisticsDialog::onExported(bool ok, const QString& file, const QString& error)
{
    m_export->setEnabled(true);
    const QString message = ok ? tr("Ответы сохранены в %1").arg(QDir::toNativeSeparators(file))
                               : tr("Не удалось сохранить %1: %2").arg(QDir::toNativeSeparators(file), error);
    m_status->setText(message);
    emit exportFinished(ok, message);
}

QLabel* StatisticsDialog::noChartsNote() const
{
    return m_chartsStack->currentWidget() == m_noCharts ? m_noCharts : nullptr;
}

QPair<QDateTime, QDateTime> StatisticsDialog::dayAxisRange() const
{
    return {m_mainDays->min(), m_mainDays->max()};
}

void StatisticsDialog::chooseExerciseToDelete()
{
    if (m_loading)
        return;
    if (m_data.exercises.isEmpty()) {
        m_status->setText(tr("За выбранный период упражнений нет."));
        return;
    }
    // The newest first: a spoiled exercise is usually the last one.
    QStringList names;
    QList<qint64> ids;
    for (auto it = m_data.exercises.crbegin(); it != m_data.exercises.crend(); ++it) {
        names << tr("%1 · %2 · ответов: %3").arg(dateTimeText(it->startMs), modeText(it->mode)).arg(it->answers);
        ids << it->sessionId;
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, tr("Удалить упражнение"), tr("&Упражнение:"), names, 0, false, &ok);
    if (ok)
        deleteExercise(ids.value(names.indexOf(chosen)));
}

bool StatisticsDialog::confirm(const QString& text)
{
    return QMessageBox::question(this, tr("Удаление из истории"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
        == QMessageBox::Yes;
}

void StatisticsDialog::deleteExercise(qint64 sessionId)
{
    if (sessionId == 0
        || !confirm(tr("Удалить упражнение %1 со всеми его ответами? Вернуть его будет нельзя.")
                        .arg(dateTimeText(sessionId))))
        return;
    forget(sessionId);
}

void StatisticsDialog::deleteAll()
{
    if (!confirm(tr("Удалить всю историю: все упражнения и ответы, и то, что программа помнит о трудных нотах? "
                    "Вернуть её будет нельзя.")))
        return;
    forget(0);
}

void StatisticsDialog::forget(qint64 sessionId)
{
    m_deleteExercise->setEnabled(false);
    m_deleteAll->setEnabled(false);
    // On the reading thread: the window stays responsive while a long history goes.
    QMetaObject::invokeMethod(m_loader, [this, store = &m_store, sessionId] {
        QString error;
        const bool ok = sessionId != 0 ? store->forgetExercise(sessionId, &error) : store->forgetAll(&error);
        QMetaObject::invokeMethod(this, [this, ok, sessionId, error] {
            m_deleteExercise->setEnabled(true);
            m_deleteAll->setEnabled(true);
            const QString message = !ok ? tr("Не удалось удалить: %1").arg(error)
                : sessionId != 0        ? tr("Упражнение %1 удалено из истории.").arg(dateTimeText(sessionId))
                                        : tr("История удалена.");
            m_status->setText(message);
            emit historyChanged(ok, message);
            reload();
        }, Qt::QueuedConnection);
    });
}
