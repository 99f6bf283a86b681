// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the main window off-screen and saves it in each clef and with the help
// guide, and the marks during an exercise: the shape marks after a wrong answer
// and with a hint, and colour against shape marks as colour-blind eyes see them.
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/language.h"
#include "app/noticeline.h"
#include "app/pieceopener.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/microphoneoptions.h"
#include "controls/guitarctrl.h"
#include "controls/pianoctrl.h"
#include "controls/stavectrl.h"
#include "support/colourvision.h"
#include "smallscreen.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool saveImage(const QImage& image, const QDir& dir, const char* name)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!image.save(path)) {
        std::fprintf(stderr, "tonvero_shots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool save(QWidget& window, const QDir& dir, const char* name)
{
    QApplication::processEvents();
    return saveImage(window.grab().toImage(), dir, name);
}

int expectedNote(const CTonveroDlg& window)
{
    return CInstrumentCtrl::NoteFromKeyIndex(window.exercise().nCurNote);
}

// An exercise on all three instruments, with a few right answers behind it.
void startExercise(CTonveroDlg& window, bool hint)
{
    for (QCheckBox* box : {window.guitarBox, window.itemAs<QCheckBox>(tonvero::IdcBassBox)})
        if (box && !box->isChecked())
            box->click();
    window.preferences().bMIDI_Out = 0; // pictures, not sound
    window.preferences().bHintMode = hint ? 1 : 0;
    window.preferences().nTimerDelay = 600000;
    window.OnCommand(tonvero::CmdClefTreble);
    window.StartStop(false);
    for (int i = 0; i < 3; ++i) {
        const int note = expectedNote(window);
        window.exercise().AnswerNotePressed(note);
        window.exercise().AnswerNoteReleased(note);
    }
}

void stopExercise(CTonveroDlg& window, int heldNote)
{
    window.exercise().AnswerNoteReleased(heldNote);
    window.StartStop(false);
}

// A key near the expected one that is not it: a black key where there is one.
int wrongNoteNear(int expected)
{
    for (int note : {expected + 1, expected - 1, expected + 2})
        if (note != expected && note >= 21 && note <= 108)
            return note;
    return expected - 2;
}

QRect rectIn(const QWidget& window, const QWidget* w)
{
    return w && w->isVisible() ? QRect(w->mapTo(&window, QPoint(0, 0)), w->size()) : QRect();
}

// The piano and both fretboards as the window shows them.
QRect instrumentsArea(const CTonveroDlg& window)
{
    QRect area;
    for (const QWidget* c : {static_cast<const QWidget*>(window.piano.get()), static_cast<const QWidget*>(window.guitar.get()),
                             static_cast<const QWidget*>(window.bass.get())})
        area |= rectIn(window, c);
    return area.adjusted(-8, -8, 8, 8);
}

// The same with the single staff's lines and the note's name above them.
QRect exerciseArea(const CTonveroDlg& window)
{
    // The control is as tall as the grand staff; one staff takes its middle.
    const QRect stave = rectIn(window, window.stave.get()).adjusted(0, 70, 0, -80);
    return instrumentsArea(window) | stave;
}

// A phrase exercise on the grand staff with chords, a few events played and one missed.
bool phraseShot(CTonveroDlg& window, const QDir& dir)
{
    tonvero::Preferences& prefs = window.preferences();
    prefs.bMIDI_Out = 0;
    prefs.bHintMode = 0;
    prefs.nTimerDelay = 600000;
    prefs.bOnWrongNoteWaitTime = 0;
    prefs.phrase.nExerciseKind = tonvero::PhraseSettings::Phrase;
    prefs.phrase.nPhraseLevel = 1;
    prefs.phrase.nPhraseChordNotes = 3;
    prefs.phrase.nPhraseKeys = 1 << tonvero::PhraseSettings::keyBit(-2, false);
    for (QCheckBox* box : {window.guitarBox, window.itemAs<QCheckBox>(tonvero::IdcBassBox)})
        if (box && box->isChecked())
            box->click();
    window.OnCommand(tonvero::CmdClefTrebleBass);
    window.exercise().setRandomSource(notedraw::SeededRandom(2));
    window.StartStop(false);
    tonvero::Exercise& e = window.exercise();
    for (int i = 0; i < 4; ++i) {
        const std::vector<int> notes = e.phraseTask().expected();
        for (int n : notes)
            e.AnswerNotePressed(n);
        for (int n : notes)
            e.AnswerNoteReleased(n);
    }
    const int wrong = e.phraseTask().expected().front() + 1;
    e.AnswerNotePressed(wrong);
    const bool ok = save(window, dir, "exercise-phrase.png");
    e.AnswerNoteReleased(wrong);
    window.StartStop(false);
    prefs.phrase = tonvero::PhraseSettings{};
    window.OnCommand(tonvero::CmdClefTrebleBass);
    return ok;
}

// A bundled two-hand tune practised with both hands: a few bars played, then a wrong note.
bool pieceShot(CTonveroDlg& window, const QDir& dir)
{
    tonvero::Preferences& prefs = window.preferences();
    prefs.bMIDI_Out = 0;
    prefs.bHintMode = 0;
    prefs.nTimerDelay = 600000;
    prefs.bOnWrongNoteWaitTime = 0;
    prefs.phrase.nPhraseBars = 2;
    window.pieces()->setSelectionDialog([](dialogs::PieceOptions&) { return true; });
    if (!window.pieces()->open(QStringLiteral(TONVERO_SOURCE_RES "/pieces/au-clair-de-la-lune.musicxml"))) {
        std::fprintf(stderr, "shots: the bundled piece was not opened\n");
        return false;
    }
    window.StartStop(false);
    tonvero::Exercise& e = window.exercise();
    for (int i = 0; i < 5; ++i) {
        const std::vector<int> notes = e.phraseTask().expected();
        for (int n : notes)
            e.AnswerNotePressed(n);
        for (int n : notes)
            e.AnswerNoteReleased(n);
    }
    const int wrong = e.phraseTask().expected().back() + 2;
    e.AnswerNotePressed(wrong);
    const bool ok = save(window, dir, "exercise-piece.png");
    e.AnswerNoteReleased(wrong);
    window.StartStop(false);
    e.clearPiece();
    prefs.phrase = tonvero::PhraseSettings{};
    window.OnCommand(tonvero::CmdClefTrebleBass);
    return ok;
}

QImage whiteSheet(int width, int height)
{
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    return sheet;
}

void setHeadingFont(QPainter& p)
{
    QFont font = p.font();
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
}

// Panels under their captions, one below the other.
QImage captioned(const std::vector<std::pair<QImage, QString>>& panels)
{
    const int captionH = 30, gap = 10;
    int width = 0, height = 0;
    for (const auto& [image, caption] : panels) {
        width = std::max(width, image.width());
        height += captionH + image.height() + gap;
    }
    QImage sheet = whiteSheet(width, height);
    QPainter p(&sheet);
    setHeadingFont(p);
    int y = 0;
    for (const auto& [image, caption] : panels) {
        p.drawText(QRect(10, y, width - 20, captionH), Qt::AlignLeft | Qt::AlignVCenter, caption);
        p.drawImage(0, y + captionH, image);
        y += captionH + image.height() + gap;
    }
    return sheet;
}

// Columns: colour marks, shape marks; rows: normal vision, deuteranopia, protanopia.
QImage comparison(const QImage& colour, const QImage& shape)
{
    using namespace colourvision;
    const int labelW = 150, headerH = 34, gap = 12;
    const QSize cell = colour.size();
    QImage sheet = whiteSheet(labelW + 2 * cell.width() + 3 * gap, headerH + 3 * (cell.height() + gap) + gap);
    QPainter p(&sheet);
    setHeadingFont(p);
    const char* const columns[] = {"Colour marks", "Shape marks (the colour-blind option)"};
    for (int c = 0; c < 2; ++c)
        p.drawText(QRect(labelW + gap + c * (cell.width() + gap), 0, cell.width(), headerH), Qt::AlignCenter,
                   QString::fromLatin1(columns[c]));
    const Vision rows[] = {Normal, Deuteranopia, Protanopia};
    const char* const rowNames[] = {"Normal vision", "Deuteranopia\n(simulated)", "Protanopia\n(simulated)"};
    for (int r = 0; r < 3; ++r) {
        const int y = headerH + r * (cell.height() + gap);
        p.drawText(QRect(0, y, labelW, cell.height()), Qt::AlignCenter, QString::fromLatin1(rowNames[r]));
        p.drawImage(labelW + gap, y, simulated(colour, rows[r]));
        p.drawImage(labelW + 2 * gap + cell.width(), y, simulated(shape, rows[r]));
    }
    return sheet;
}

QImage grabArea(CTonveroDlg& window, const QRect& area)
{
    window.exercise().OnClockTick();
    QApplication::processEvents();
    return window.grab(area).toImage();
}

bool markShots(CTonveroDlg& window, const QDir& dir)
{
    // The same notes on every run, so that a remade picture changes only where the marks do.
    std::srand(1);
    bool ok = true;
    std::vector<std::pair<QImage, QString>> panels;
    CInstrumentCtrl::SetShapeMarks(true);

    // After a wrong answer, the wrong key still held.
    startExercise(window, false);
    const QRect area = exerciseArea(window);
    const int wrong = wrongNoteNear(expectedNote(window));
    window.exercise().AnswerNotePressed(wrong);
    panels.emplace_back(grabArea(window, area),
                        QStringLiteral("A wrong answer: a cross on the key played, a dot on the note to play"));
    const QRect instruments = instrumentsArea(window);
    const QImage shape = grabArea(window, instruments);
    CInstrumentCtrl::SetShapeMarks(false);
    const QImage colour = grabArea(window, instruments);
    ok = saveImage(comparison(colour, shape), dir, "marks-comparison.png") && ok;
    CInstrumentCtrl::SetShapeMarks(true);
    stopExercise(window, wrong);

    // A right answer, the key still held; the stave has moved on to the next note.
    startExercise(window, false);
    const int right = expectedNote(window);
    window.exercise().AnswerNotePressed(right);
    panels.emplace_back(grabArea(window, area),
                        QStringLiteral("A right answer, the key still held: a ring (the stave shows the next note)"));
    stopExercise(window, right);

    // A hint: the note to play, whatever was pressed.
    startExercise(window, true);
    const int pressed = wrongNoteNear(expectedNote(window));
    window.exercise().AnswerNotePressed(pressed);
    panels.emplace_back(grabArea(window, area), QStringLiteral("A hint: a dot on the note to play"));
    stopExercise(window, pressed);

    CInstrumentCtrl::SetShapeMarks(false);
    return saveImage(captioned(panels), dir, "marks-colourblind.png") && ok;
}

// An exercise with the sound gone: the notice at the foot of the window, the clock running on.
bool noSoundShot(CTonveroDlg& window, const QDir& dir)
{
    const QSize before = window.size();
    window.resize(1000, 820); // room for all three instruments and the notice
    startExercise(window, false);
    // On a machine with audio there is nothing to say: the notice is posted as the synthesizer words it.
    if (window.notices()->currentText().isEmpty())
        window.notices()->post(QStringLiteral("device"),
                               QCoreApplication::translate(
                                   "Synthesizer", "Звука не будет: не найдено устройство вывода звука. Упражнение идёт "
                                                  "без звука; подключите наушники или колонки или выберите другой "
                                                  "MIDI-выход в настройках."));
    window.exercise().timers.Fire(2); // the counters as the clock shows them
    const bool ok = save(window, dir, "exercise-no-sound.png");
    window.StartStop(false);
    window.notices()->clear(QStringLiteral("device"));
    window.resize(before);
    return ok;
}

// The main window, the options and an exercise after a miss, in English.
bool englishShots(const QDir& dir)
{
    tonvero::Translations english;
    english.install(QLocale::English);
    CTonveroDlg window;
    window.resize(1000, 820);
    window.show();
    QApplication::processEvents();
    window.OnCommand(tonvero::CmdClefTrebleBass);
    bool ok = save(window, dir, "en-window.png");
    window.OpenOptions();
    QApplication::processEvents();
    ok = save(*window.pOptions, dir, "en-options.png") && ok;
    window.pOptions->hide();
    startExercise(window, false);
    window.preferences().bShowNoteName = 0;
    const int missed = wrongNoteNear(expectedNote(window));
    window.exercise().AnswerNotePressed(missed);
    window.exercise().timers.Fire(2);
    ok = save(window, dir, "en-exercise.png") && ok;
    stopExercise(window, missed);
    return ok;
}

// The options with «Дополнительно» of the microphone open, in each language.
bool optionsShots(const QDir& dir)
{
    bool ok = true;
    for (const auto& [language, tag] : {std::pair{QLocale::Russian, "ru"}, std::pair{QLocale::English, "en"}}) {
        tonvero::Translations translations;
        translations.install(language);
        CTonveroDlg window;
        window.show();
        QApplication::processEvents();
        window.OpenOptions();
        if (auto* microphone = window.pOptions->findChild<dialogs::MicrophoneOptions*>())
            if (auto* more = microphone->findChild<QToolButton*>())
                more->setChecked(true);
        QApplication::processEvents();
        QApplication::processEvents();
        ok = save(*window.pOptions, dir, qPrintable(QStringLiteral("options-1366x768-%1.png").arg(QLatin1String(tag))))
            && ok;
        window.pOptions->hide();
    }
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tonvero_shots <outdir>\n");
        return 2;
    }
    QTemporaryDir screen;
    shots::useSmallScreen(screen);
    // The pictures show the defaults, never the settings or history of whoever runs this.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (config.path() + QStringLiteral("/data")).toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonvero"));
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "tonvero_shots: cannot create %s\n", argv[1]);
        return 1;
    }

    CTonveroDlg window;
    window.show();
    QApplication::processEvents();

    struct Shot {
        int command;
        const char* name;
    };
    const Shot shots[] = {
        {tonvero::CmdClefTreble, "window-treble.png"},
        {tonvero::CmdClefBass, "window-bass.png"},
        {tonvero::CmdClefAlto, "window-alto.png"},
        {tonvero::CmdClefTrebleBass, "window-grand.png"},
    };
    bool ok = true;
    for (const Shot& s : shots) {
        window.OnCommand(s.command);
        ok = save(window, dir, s.name) && ok;
    }
    window.OnCommand(tonvero::CmdHelp);
    ok = save(window, dir, "window-help.png") && ok;
    window.RemoveHelpOverlay();
    ok = markShots(window, dir) && ok;
    ok = noSoundShot(window, dir) && ok;
    ok = phraseShot(window, dir) && ok;
    ok = pieceShot(window, dir) && ok;
    ok = englishShots(dir) && ok;
    ok = optionsShots(dir) && ok;
    return ok ? 0 : 1;
}
