// SPDX-License-Identifier: GPL-3.0-or-later
// Every window of the program on small screens, in both languages, at 1× and 2×:
// each one fits the screen, and no label or button shows less than its text.
// Each screen is its own process (the platform's screens are fixed at start):
// the test runs this executable again with the screen and scale it checks.
#include "app/exercisehelpers.h"
#include "app/language.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/microphoneoptions.h"
#include "dialogs/pieceoptions.h"
#include "dialogs/statisticsdlg.h"
#include "history/historyfixture.h"
#include "history/historystore.h"
#include "piece/piecefile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

#include <cstdio>

namespace {

const char* const ChildVariable = "TONVERO_FIT_CHILD";

QString plain(QString text)
{
    // "&&" shows an ampersand, a single one marks the shortcut.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

int widestLine(const QFontMetrics& fm, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, fm.horizontalAdvance(line));
    return widest;
}

// Visible here: the widget and its parents are shown, and a scroll area does not hide it.
bool shownInWindow(const QWidget* w)
{
    return w->isVisibleTo(w->window()) && w->isVisible();
}

bool insideScrollArea(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QScrollArea*>(p))
            return true;
    return false;
}

QString describe(const QWidget* w, const QString& text)
{
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), text.left(60));
}

// What the widget would need and what it has, or nothing when it shows its text whole.
QString cutText(const QWidget* w)
{
    const QFontMetrics fm(w->font());
    auto report = [&](const QString& text, QSize need, QSize has) {
        return QStringLiteral("%1 needs %2×%3, has %4×%5")
            .arg(describe(w, text))
            .arg(need.width())
            .arg(need.height())
            .arg(has.width())
            .arg(has.height());
    };
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty())
            return {};
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                          -label->margin());
        QString text = label->text();
        const bool rich = label->textFormat() == Qt::RichText
            || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
        if (rich) {
            QTextDocument doc;
            doc.setDefaultFont(label->font());
            doc.setHtml(text);
            doc.setDocumentMargin(0);
            text = doc.toPlainText();
        }
        text = label->buddy() ? plain(text) : text;
        if (label->wordWrap()) {
            const int need = label->heightForWidth(label->width());
            if (need > label->height() + 1)
                return report(text, QSize(label->width(), need), label->size());
            return {};
        }
        const QSize need(widestLine(fm, text), fm.height() * int(text.count(QLatin1Char('\n')) + 1));
        if (need.width() > room.width() + 1 || need.height() > room.height() + 2)
            return report(text, need, room.size());
        return {};
    }
    if (auto* box = qobject_cast<const QComboBox*>(w)) {
        if (box->currentText().isEmpty())
            return {};
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = box->isEditable();
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
        const int icon = box->itemIcon(box->currentIndex()).isNull() ? 0 : box->iconSize().width() + 4;
        const QSize need(fm.horizontalAdvance(box->currentText()) + icon, fm.height());
        if (need.width() > field.width() || need.height() > field.height() + 2)
            return report(box->currentText(), need, field.size());
        return {};
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        const QString text = plain(button->text());
        if (text.isEmpty())
            return {};
        QSize need;
        if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
            // The box or circle, its spacing, and the text.
            need = button->sizeHint();
            need.setHeight(fm.height() * int(text.count(QLatin1Char('\n')) + 1));
        } else if (qobject_cast<const QPushButton*>(w)) {
            // The text against the part the style draws it in.
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
            const QSize textNeed(widestLine(fm, text) + icon, fm.height());
            if (textNeed.width() > contents.width() || textNeed.height() > contents.height())
                return report(text, textNeed, contents.size());
            return {};
        } else if (auto* tool = qobject_cast<const QToolButton*>(w); tool && tool->toolButtonStyle() != Qt::ToolButtonIconOnly) {
            need = QSize(tool->sizeHint().width() - 4, fm.height());
        } else {
            return {};
        }
        if (need.width() > button->width() || need.height() > button->height())
            return report(text, need, button->size());
        return {};
    }
    if (auto* bar = qobject_cast<const QTabBar*>(w)) {
        // A tab shorter than its text is elided.
        for (int i = 0; i < bar->count(); ++i) {
            const QString text = plain(bar->tabText(i));
            const int need = fm.horizontalAdvance(text) + 2 * bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar) / 2;
            if (need > bar->tabRect(i).width())
                return report(text, QSize(need, fm.height()), bar->tabRect(i).size());
        }
    }
    return {};
}

// Everything that keeps the window from being read whole on this screen.
QStringList misfits(QWidget* window, const QString& name)
{
    QStringList out;
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const QScreen* screen = window->screen();
    const QRect room = screen->availableGeometry();
    const QSize frame = window->frameGeometry().size();
    if (frame.width() > room.width() || frame.height() > room.height())
        out << QStringLiteral("%1: %2×%3 on a %4×%5 screen")
                   .arg(name)
                   .arg(frame.width())
                   .arg(frame.height())
                   .arg(room.width())
                   .arg(room.height());
    const QSize least = window->minimumSize().expandedTo(window->layout() ? window->layout()->minimumSize() : QSize());
    // For whoever runs the child by hand: the sizes measured.
    qInfo("%s: %d×%d, at least %d×%d, screen %d×%d", qPrintable(name), frame.width(), frame.height(), least.width(),
          least.height(), room.width(), room.height());
    if (least.width() > room.width() || least.height() > room.height())
        out << QStringLiteral("%1: cannot be made smaller than %2×%3").arg(name).arg(least.width()).arg(least.height());

    const QRect inside = window->rect();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!shownInWindow(w) || w->window() != window)
            continue;
        const QString cut = cutText(w);
        if (!cut.isEmpty())
            out << QStringLiteral("%1: %2").arg(name, cut);
        // Out of the window, or laid over by its parent's edge, unless scrolling brings it in.
        if (!insideScrollArea(w) && (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))) {
            const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
            if (!inside.contains(r))
                out << QStringLiteral("%1: %2 lies outside the window").arg(name, describe(w, QString()));
        }
    }
    return out;
}

QStringList checkAll()
{
    QStringList out;
    tonvero::Translations translations;
    const bool english = qEnvironmentVariable(ChildVariable) == QLatin1String("en");
    translations.install(english ? QLocale::English : QLocale::Russian);

    auto main = exercisehelpers::openWindow();
    out << misfits(main.get(), QStringLiteral("main window"));

    main->OpenOptions();
    DialogOptions* options = main->pOptions;
    if (!options)
        return out << QStringLiteral("no options dialog");
    if (!QTest::qWaitForWindowExposed(options))
        out << QStringLiteral("options: not shown");
    out << misfits(options, QStringLiteral("options"));
    auto* microphone = options->findChild<dialogs::MicrophoneOptions*>();
    auto* more = microphone ? microphone->findChild<QToolButton*>() : nullptr;
    if (!more)
        return out << QStringLiteral("options: no «Дополнительно»");
    more->setChecked(true);
    out << misfits(options, QStringLiteral("options with «Дополнительно» open"));
    options->hide();

    historytest::FixedStore fixed;
    tonvero::history::HistoryStore store(fixed.path);
    {
        StatisticsDialog statistics(store, 3, 0, main.get());
        statistics.show();
        if (!QTest::qWaitForWindowExposed(&statistics))
            out << QStringLiteral("statistics: not shown");
        QSignalSpy shown(&statistics, &StatisticsDialog::dataShown);
        if (statistics.isLoading())
            shown.wait(20000);
        out << misfits(&statistics, QStringLiteral("statistics, charts"));
        const QSize before = statistics.size();
        statistics.showNoteMap();
        out << misfits(&statistics, QStringLiteral("statistics, note map"));
        if (statistics.size() != before)
            out << QStringLiteral("statistics: grew from %1×%2 to %3×%4 with the note map")
                       .arg(before.width())
                       .arg(before.height())
                       .arg(statistics.width())
                       .arg(statistics.height());
    }
    {
        // Every kind of exercise on offer, and the tab of the keys.
        historytest::LineStore lines;
        tonvero::history::HistoryStore lineStore(lines.path);
        StatisticsDialog statistics(lineStore, 3, 0, main.get());
        statistics.setPeriod(tonvero::history::Period::All);
        statistics.show();
        if (!QTest::qWaitForWindowExposed(&statistics))
            out << QStringLiteral("statistics of lines: not shown");
        QSignalSpy shown(&statistics, &StatisticsDialog::dataShown);
        if (statistics.isLoading())
            shown.wait(20000);
        out << misfits(&statistics, QStringLiteral("statistics of lines, charts"));
        statistics.showKeys();
        out << misfits(&statistics, QStringLiteral("statistics of lines, keys"));
    }
    {
        // A piano piece: every row of the piece dialog is on.
        const tonvero::piece::PieceFile file = tonvero::piece::readPieceFile(
            QStringLiteral(TONVERO_SOURCE_RES "/pieces/au-clair-de-la-lune.musicxml"));
        if (!file.ok())
            return out << QStringLiteral("piece: %1").arg(file.error);
        dialogs::PieceOptions piece(file.piece, file.piece.title, {}, main.get());
        piece.show();
        if (!QTest::qWaitForWindowExposed(&piece))
            out << QStringLiteral("piece: not shown");
        out << misfits(&piece, QStringLiteral("piece"));
    }
    {
        // A piece's strip over its bars.
        historytest::PieceStore pieces;
        tonvero::history::HistoryStore pieceStore(pieces.path);
        StatisticsDialog statistics(pieceStore, 3, 0, main.get());
        statistics.setPeriod(tonvero::history::Period::All);
        statistics.show();
        if (!QTest::qWaitForWindowExposed(&statistics))
            out << QStringLiteral("statistics of pieces: not shown");
        QSignalSpy shown(&statistics, &StatisticsDialog::dataShown);
        if (statistics.isLoading())
            shown.wait(20000);
        statistics.showPieces();
        out << misfits(&statistics, QStringLiteral("statistics of pieces, strip"));
    }
    {
        CAboutDlg about(main.get());
        about.show();
        if (!QTest::qWaitForWindowExposed(&about))
            out << QStringLiteral("about: not shown");
        out << misfits(&about, QStringLiteral("about"));
    }
    return out;
}

} // namespace

class TestWindowsFit : public QObject {
    Q_OBJECT
private slots:
    void everyWindowFits_data();
    void everyWindowFits();
};

void TestWindowsFit::everyWindowFits_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QString>("language");
    for (const QSize screen : {QSize(1366, 768), QSize(1280, 720)})
        for (int scale : {1, 2})
            for (const char* language : {"ru", "en"})
                QTest::addRow("%dx%d, %dx, %s", screen.width(), screen.height(), scale, language)
                    << screen << scale << QString::fromLatin1(language);
}

void TestWindowsFit::everyWindowFits()
{
    QFETCH(QSize, screen);
    QFETCH(int, scale);
    QFETCH(QString, language);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The screen in device pixels; the scale brings it back to the size named.
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": true,
        "screens": [{"name": "small", "x": 0, "y": 0, "width": %1, "height": %2, "logicalDpi": 96,
        "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(screen.width() * scale)
                   .arg(screen.height() * scale)
                   .toUtf8());
    file.close();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
    env.insert(QString::fromLatin1(ChildVariable), language);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(120000));
    const QString report = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(child.readAllStandardError()));
    QVERIFY2(child.exitCode() == 0 && report.isEmpty(), qPrintable(report));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(ChildVariable)) {
        QApplication app(argc, argv);
        const QStringList problems = checkAll();
        for (const QString& p : problems)
            std::printf("%s\n", qPrintable(p));
        return problems.isEmpty() ? 0 : 1;
    }
    QApplication app(argc, argv);
    TestWindowsFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowsfit.moc"
