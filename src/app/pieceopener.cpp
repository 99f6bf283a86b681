// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pieceopener.h"

#include "dialogs/pieceoptions.h"
#include "exercise/exercise.h"
#include "piece/piecefile.h"
#include "platform/ui/messagebox.h"
#include "settings/preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace tonvero {

namespace {

// Enough of the head for every format's signature (an XML declaration may come after a BOM and spaces).
constexpr qint64 kHeadBytes = 64;

QString caption()
{
    return QStringLiteral("Tonvero");
}

QString shownName(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

bool isPieceFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    return piece::detectFormat(file.read(kHeadBytes), path) != piece::PieceFormat::Unknown;
}

QString pieceFileArgument(const QStringList& arguments)
{
    bool optionsOver = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (!optionsOver && a == QLatin1String("--")) {
            optionsOver = true;
            continue;
        }
        if (a.isEmpty() || (!optionsOver && a.startsWith(QLatin1Char('-'))))
            continue;
        // A file manager may hand over a URL.
        if (a.startsWith(QLatin1String("file:")))
            return QUrl(a).toLocalFile();
        return a;
    }
    return {};
}

QString bundledPiecesDir(const QString& installDir)
{
    QStringList dirs;
    if (!installDir.isEmpty())
        dirs << installDir;
    if (QCoreApplication::instance())
        dirs << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/tonvero"));
    dirs << QStringLiteral(TONVERO_DATADIR) << QStringLiteral(TONVERO_SOURCE_RES);
    for (const QString& d : dirs) {
        const QString pieces = QDir::cleanPath(QDir(d).filePath(QStringLiteral("pieces")));
        if (QFileInfo(pieces).isDir())
            return pieces;
    }
    return {};
}

const std::vector<BundledPiece>& bundledPieces()
{
    static const std::vector<BundledPiece> pieces{
        {"twinkle.musicxml", QT_TRANSLATE_NOOP("tonvero::PieceOpener", "Ах, скажу я вам, мама (Twinkle, Twinkle)")},
        {"frere-jacques.musicxml", QT_TRANSLATE_NOOP("tonvero::PieceOpener", "Братец Яков")},
        {"vo-pole-beryoza.musicxml", QT_TRANSLATE_NOOP("tonvero::PieceOpener", "Во поле берёза стояла")},
        {"ode-to-joy.musicxml", QT_TRANSLATE_NOOP("tonvero::PieceOpener", "Ода к радости (Бетховен)")},
        {"greensleeves.musicxml", QT_TRANSLATE_NOOP("tonvero::PieceOpener", "Зелёные рукава")},
        {"au-clair-de-la-lune.musicxml",
         QT_TRANSLATE_NOOP("tonvero::PieceOpener", "При лунном свете (для двух рук)")},
    };
    return pieces;
}

PieceOpener::PieceOpener(Preferences& prefs, Exercise& exercise, QWidget* window)
    : QObject(window), m_prefs(prefs), m_exercise(exercise), m_window(window)
{
    m_chooseFile = [this](const QString& startDir) {
        return QFileDialog::getOpenFileName(m_window, tr("Открыть пьесу"), startDir,
                                            piece::pieceFileFilters().join(QStringLiteral(";;")));
    };
    m_runDialog = [](::dialogs::PieceOptions& dialog) { return dialog.exec() == QDialog::Accepted; };
}

void PieceOpener::addMenus(QMenu* fileMenu, QAction* before)
{
    m_recent = new QMenu(tr("&Недавние пьесы"), fileMenu);
    m_recent->setObjectName(QStringLiteral("recentPieces"));
    m_bundled = new QMenu(tr("П&ьесы для начала"), fileMenu);
    m_bundled->setObjectName(QStringLiteral("bundledPieces"));
    fileMenu->insertMenu(before, m_recent);
    fileMenu->insertMenu(before, m_bundled);
    // Filled when shown: the list may have changed in the meantime.
    connect(m_recent, &QMenu::aboutToShow, this, &PieceOpener::fillRecent);
    connect(m_bundled, &QMenu::aboutToShow, this, &PieceOpener::fillBundled);
    fillRecent();
    fillBundled();
}

void PieceOpener::setIdle(bool idle)
{
    m_idle = idle;
    for (QMenu* m : {m_recent, m_bundled})
        if (m)
            m->setEnabled(idle);
}

void PieceOpener::fillRecent()
{
    m_recent->clear();
    const QStringList& paths = m_prefs.piece.recent;
    if (paths.isEmpty()) {
        m_recent->addAction(tr("(пусто)"))->setEnabled(false);
        return;
    }
    for (int i = 0; i < int(paths.size()); ++i) {
        const QString path = paths[i];
        const QString name = QFileInfo(path).fileName().replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = m_recent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
        a->setData(path);
        a->setToolTip(shownName(path));
        a->setStatusTip(shownName(path));
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
}

void PieceOpener::fillBundled()
{
    m_bundled->clear();
    const QDir dir(bundledPiecesDir(m_prefs.strInstallDir));
    for (const BundledPiece& p : bundledPieces()) {
        const QString path = dir.filePath(QLatin1String(p.file));
        if (dir.path().isEmpty() || !QFileInfo(path).isFile())
            continue;
        QAction* a = m_bundled->addAction(tr(p.title));
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { open(path); });
    }
    if (m_bundled->isEmpty())
        m_bundled->addAction(tr("(не установлены)"))->setEnabled(false);
}

void PieceOpener::openRecent(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        const QString text = tr("Файла пьесы больше нет:\n%1\n\nОн убран из списка недавних пьес.");
        platform::MessageBox(m_window, text.arg(shownName(path)), caption(), platform::MsgIcon::Exclamation);
        m_prefs.piece.removeRecent(path);
        m_prefs.save();
        fillRecent();
        return;
    }
    open(path);
}

QString PieceOpener::titleOf(const QString& path, const piece::Piece& piece) const
{
    // The tunes that come with the program have their titles in the interface's language.
    const QFileInfo info(path);
    const QString bundledDir = bundledPiecesDir(m_prefs.strInstallDir);
    if (!bundledDir.isEmpty() && info.absolutePath() == QFileInfo(bundledDir).absoluteFilePath())
        for (const BundledPiece& p : bundledPieces())
            if (info.fileName() == QLatin1String(p.file))
                return tr(p.title);
    const QString title = piece.title.simplified();
    return title.isEmpty() ? info.completeBaseName() : title;
}

piece::PieceSelection PieceOpener::storedSelection() const
{
    const PieceSettings& s = m_prefs.piece;
    piece::PieceSelection selection;
    selection.part = s.nPiecePart;
    selection.hand = s.nPieceHand;
    selection.firstBar = s.nPieceFirstBar;
    selection.lastBar = s.nPieceLastBar;
    selection.repeat = s.bPieceRepeat != 0;
    return selection;
}

void PieceOpener::storeSelection(const QString& path, const piece::PieceSelection& selection)
{
    PieceSettings& s = m_prefs.piece;
    s.sPiecePath = path;
    s.nPiecePart = selection.part;
    s.nPieceHand = selection.hand;
    s.nPieceFirstBar = selection.firstBar;
    s.nPieceLastBar = selection.lastBar;
    s.bPieceRepeat = selection.repeat ? 1 : 0;
}

bool PieceOpener::open(const QString& givenPath)
{
    if (!m_idle || givenPath.isEmpty())
        return false;
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    piece::PieceFile file = piece::readPieceFile(path);
    if (file.ok() && file.piece.notes.empty())
        file.error = tr("В ней нет ни одной ноты.");
    if (!file.ok()) {
        platform::MessageBox(m_window, tr("Не удалось открыть пьесу\n%1\n\n%2").arg(shownName(path), file.error),
                             caption(), platform::MsgIcon::Exclamation);
        return false;
    }

    const QString title = titleOf(path, file.piece);
    auto opened = std::make_shared<const piece::Piece>(std::move(file.piece));
    // The same piece opened again starts from what was practised of it.
    const piece::PieceSelection start = path == m_prefs.piece.sPiecePath ? storedSelection() : piece::PieceSelection{};
    ::dialogs::PieceOptions dialog(*opened, title, start, m_window);
    if (!m_runDialog(dialog))
        return false;
    const piece::PieceSelection selection = dialog.selection();

    m_piece = opened;
    m_id = file.id;
    m_title = title;
    m_exercise.setPiece(m_piece, m_id, m_title, selection);
    storeSelection(path, selection);
    m_prefs.piece.addRecent(path);
    m_prefs.phrase.nExerciseKind = PhraseSettings::Piece;
    m_prefs.notifyChanged();
    m_prefs.save();
    if (m_recent)
        fillRecent();
    emit pieceChanged();
    return true;
}

bool PieceOpener::chooseAndOpen()
{
    if (!m_idle)
        return false;
    QString startDir;
    if (!m_prefs.piece.recent.isEmpty())
        startDir = QFileInfo(m_prefs.piece.recent.first()).absolutePath();
    if (startDir.isEmpty() || !QFileInfo(startDir).isDir())
        startDir = bundledPiecesDir(m_prefs.strInstallDir);
    if (startDir.isEmpty())
        startDir = QDir::homePath();
    const QString path = m_chooseFile(startDir);
    return !path.isEmpty() && open(path);
}

bool PieceOpener::editSelection()
{
    if (!m_idle || !m_piece || !m_exercise.hasPiece())
        return false;
    ::dialogs::PieceOptions dialog(*m_piece, m_title, m_exercise.pieceSelection(), m_window);
    if (!m_runDialog(dialog))
        return false;
    const piece::PieceSelection selection = dialog.selection();
    if (selection == m_exercise.pieceSelection())
        return false;
    m_exercise.setPiece(m_piece, m_id, m_title, selection);
    storeSelection(m_prefs.piece.sPiecePath, selection);
    m_prefs.save();
    emit pieceChanged();
    return true;
}

bool PieceOpener::reopenStored(QString* whyNot)
{
    const QString path = m_prefs.piece.sPiecePath;
    if (path.isEmpty()) {
        if (whyNot)
            *whyNot = tr("Пьеса не выбрана, упражнение — отдельные ноты.");
        return false;
    }
    piece::PieceFile file = piece::readPieceFile(path);
    const QString error = file.ok() && file.piece.notes.empty() ? tr("В ней нет ни одной ноты.") : file.error;
    if (!error.isEmpty()) {
        if (whyNot)
            *whyNot = tr("Последнюю пьесу (%1) не удалось открыть, упражнение — отдельные ноты. %2")
                          .arg(shownName(path), error);
        return false;
    }
    const QString title = titleOf(path, file.piece);
    m_piece = std::make_shared<const piece::Piece>(std::move(file.piece));
    m_id = file.id;
    m_title = title;
    m_exercise.setPiece(m_piece, m_id, m_title, storedSelection());
    emit pieceChanged();
    return true;
}

bool PieceOpener::acceptsDrop(const QMimeData* data) const
{
    if (!m_idle || !data || !data->hasUrls() || data->urls().isEmpty())
        return false;
    const QUrl url = data->urls().first();
    return url.isLocalFile() && isPieceFile(url.toLocalFile());
}

bool PieceOpener::drop(const QMimeData* data)
{
    return acceptsDrop(data) && open(data->urls().first().toLocalFile());
}

} // namespace tonvero
