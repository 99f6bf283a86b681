// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "piece/piecelines.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QMimeData;
class QWidget;

namespace dialogs {
class PieceOptions;
}

namespace tonvero {
class Exercise;
class Preferences;

// A local file whose first bytes (or, failing them, its name) are of a piece format Tonvero reads.
bool isPieceFile(const QString& path);
// The piece named on the command line: the first argument after the program's
// name that is not an option; empty when there is none.
QString pieceFileArgument(const QStringList& arguments);
// The folder of the pieces installed with the program (see ReadMeCandidates for the order); empty when none is found.
QString bundledPiecesDir(const QString& installDir);

// A piece installed with the program: its file in bundledPiecesDir and its title, untranslated.
struct BundledPiece {
    const char* file;
    const char* title;
};
const std::vector<BundledPiece>& bundledPieces();

// Opens pieces for the window: from the file dialog, the recent list, the
// bundled tunes, a drop or the command line. A piece read becomes the
// exercise's, with the selection the piece dialog gives, and the kind turns
// to pieces; one that cannot be read is said in a box and changes nothing.
class PieceOpener : public QObject {
    Q_OBJECT
public:
    PieceOpener(Preferences& prefs, Exercise& exercise, QWidget* window);

    // Puts the recent list and the bundled tunes into the file menu, before `before`.
    void addMenus(QMenu* fileMenu, QAction* before);
    QMenu* recentMenu() const { return m_recent; }
    QMenu* bundledMenu() const { return m_bundled; }
    // Nothing opens while an exercise runs.
    void setIdle(bool idle);

    // Reads path; on success asks for the selection and makes it the exercise's piece.
    bool open(const QString& path);
    // The open dialog, starting where the last piece was (or at the bundled tunes).
    bool chooseAndOpen();
    // The piece dialog again for the open piece; true when its selection changed.
    bool editSelection();
    // At start-up: the stored piece with the stored selection, without asking.
    // False (and why in whyNot) when it cannot be read.
    bool reopenStored(QString* whyNot);

    // Drops: only local files of a piece format, and only while idle.
    bool acceptsDrop(const QMimeData* data) const;
    bool drop(const QMimeData* data);

    // Test seams: the file the open dialog would give, and the piece dialog's run (true for OK).
    using FileChooser = std::function<QString(const QString& startDir)>;
    using SelectionDialog = std::function<bool(::dialogs::PieceOptions& dialog)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setSelectionDialog(SelectionDialog run) { m_runDialog = std::move(run); }

signals:
    // A piece became the exercise's, or its selection changed.
    void pieceChanged();

private:
    void fillRecent();
    void fillBundled();
    void openRecent(const QString& path);
    QString titleOf(const QString& path, const piece::Piece& piece) const;
    piece::PieceSelection storedSelection() const;
    void storeSelection(const QString& path, const piece::PieceSelection& selection);

    Preferences& m_prefs;
    Exercise& m_exercise;
    QWidget* m_window;
    QMenu* m_recent = nullptr;
    QMenu* m_bundled = nullptr;
    bool m_idle = true;
    // The open piece, as the exercise has it, and its title as shown.
    std::shared_ptr<const piece::Piece> m_piece;
    QString m_id;
    QString m_title;
    FileChooser m_chooseFile;
    SelectionDialog m_runDialog;
};

} // namespace tonvero
