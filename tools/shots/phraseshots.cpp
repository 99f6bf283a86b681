// SPDX-License-Identifier: GPL-3.0-or-later
// tonvero_phraseshots <outdir>: the stave alone with a line of music at 2×,
// for the documentation; generated lines with fixed seeds, so the pictures
// change only when the drawing, the layout or the generator does.
#include "controls/pianoctrl.h"
#include "controls/stavectrl.h"
#include "music/phrasegenerator.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

namespace {

using namespace tonvero::music;

struct Shot {
    const char* file;
    int clef;
    Key key;
    Meter meter;
    std::uint32_t seed;
    int cursor;
    bool names;
};

Phrase line(const Shot& shot)
{
    PhraseRequest r;
    r.level = Level::Medium;
    r.key = shot.key;
    r.time = TimeSignature{shot.meter};
    r.bars = 2;
    r.grandStaff = shot.clef == CStaveCtrl::TrebleBass;
    if (shot.clef == CStaveCtrl::Bass)
        r.ranges[0] = KeyRange{15, 39};
    r.maxChordNotes = r.grandStaff ? 3 : 1;
    return generatePhrase(r, shot.seed);
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tonvero_phraseshots <outdir>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "tonvero_phraseshots: cannot create %s\n", argv[1]);
        return 1;
    }
    // The piano builds the key table the controls share.
    const PianoLayoutTable pianoLayout = CPianoCtrl::DefaultLayout();
    CPianoCtrl piano;
    piano.initialize(pianoLayout.data());

    const Shot shots[] = {
        {"phrase-g-major-3-4-treble.png", CStaveCtrl::Treble, Key(1, Mode::Major), Meter::ThreeFour, 7, 3, false},
        {"phrase-b-flat-major-4-4-grand-chords.png", CStaveCtrl::TrebleBass, Key(-2, Mode::Major), Meter::FourFour, 5,
         0, false},
        {"phrase-e-minor-6-8-bass.png", CStaveCtrl::Bass, Key(1, Mode::Minor), Meter::SixEight, 3, 0, true},
    };
    const StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    int failures = 0;
    for (const Shot& shot : shots) {
        CStaveCtrl::nClef = shot.clef;
        CStaveCtrl stave;
        stave.initialize(layout.data());
        stave.resize(stave.phraseSizeHint(2));
        stave.SetPhraseNames(shot.names);
        stave.ShowPhrase(line(shot));
        stave.SetPhraseCursor(shot.cursor);
        const QString path = dir.filePath(QString::fromLatin1(shot.file));
        if (stave.picture().save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "tonvero_phraseshots: cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
