// SPDX-License-Identifier: GPL-3.0-or-later
// piececheck FILE [--part N]: the notes the trainer reads from a MusicXML file.
#include "app/language.h"
#include "piece/piececheck.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // Messages in the trainer's language: the one chosen in its options, else the desktop's.
    tonvero::Translations translations;
    translations.install(tonvero::interfaceLanguage(tonvero::loadLanguageChoice()));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return tonvero::piece::runPieceCheck(QCoreApplication::arguments(), out, err);
}
