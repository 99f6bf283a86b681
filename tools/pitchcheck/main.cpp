// SPDX-License-Identifier: GPL-3.0-or-later
// pitchcheck FILE.wav [--transpose N]: the notes the microphone input would hear in a recording.
#include "app/language.h"
#include "pitch/pitchcheck.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // Messages in the trainer's language: the one chosen in its options, else the desktop's.
    tonvero::Translations translations;
    translations.install(tonvero::interfaceLanguage(tonvero::loadLanguageChoice()));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return pitch::runPitchCheck(QCoreApplication::arguments(), out, err);
}
