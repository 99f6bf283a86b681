// SPDX-License-Identifier: GPL-3.0-or-later
// Draws every picture of the trainer:
//   tonvero_pictures <pictures dir> [--icons <dir>] [--contact-sheet <file.png>]
// Each picture is written as <id>.png and, drawn at twice the size, <id>@2x.png.
#include "pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

namespace {

// The same bytes on every run: no text chunks, fixed resolution, fixed format.
bool writePng(QImage img, const QString &path)
{
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    for (const QString &key : img.textKeys())
        img.setText(key, QString());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(100); // zlib level 9
    if (!writer.write(img)) {
        std::fprintf(stderr, "tonvero_pictures: cannot encode %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "tonvero_pictures: cannot write %s: %s\n", qPrintable(path), qPrintable(f.errorString()));
        return false;
    }
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: tonvero_pictures <pictures dir> [--icons <dir>] [--contact-sheet <file.png>]\n"
                         "       tonvero_pictures --contact-sheet <file.png>\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString picturesDir, iconsDir, sheetFile;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--icons") && i + 1 < args.size())
            iconsDir = args[++i];
        else if (a == QLatin1String("--contact-sheet") && i + 1 < args.size())
            sheetFile = args[++i];
        else if (!a.startsWith(QLatin1String("--")) && picturesDir.isEmpty())
            picturesDir = a;
        else
            return usage();
    }
    if (picturesDir.isEmpty() && iconsDir.isEmpty() && sheetFile.isEmpty())
        return usage();

    pictures::Glyphs glyphs;
    QString error;
    if (!glyphs.load(&error)) {
        std::fprintf(stderr, "tonvero_pictures: %s\n", qPrintable(error));
        return 1;
    }

    bool ok = true;
    if (!picturesDir.isEmpty()) {
        if (!QDir().mkpath(picturesDir)) {
            std::fprintf(stderr, "tonvero_pictures: cannot create %s\n", qPrintable(picturesDir));
            return 1;
        }
        for (const pictures::Picture &pic : pictures::allPictures(glyphs)) {
            const QString base = picturesDir + QLatin1Char('/') + QString::number(pic.id);
            ok = writePng(pictures::render(pic, 1), base + QLatin1String(".png")) && ok;
            ok = writePng(pictures::render(pic, 2), base + QLatin1String("@2x.png")) && ok;
        }
        // The program icon is picture 128 at 32 px.
        ok = writePng(pictures::renderIcon(glyphs, 32), picturesDir + QLatin1String("/128.png")) && ok;
        ok = writePng(pictures::renderIcon(glyphs, 64), picturesDir + QLatin1String("/128@2x.png")) && ok;
    }
    if (!iconsDir.isEmpty()) {
        if (!QDir().mkpath(iconsDir)) {
            std::fprintf(stderr, "tonvero_pictures: cannot create %s\n", qPrintable(iconsDir));
            return 1;
        }
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            ok = writePng(pictures::renderIcon(glyphs, size),
                          QStringLiteral("%1/tonvero-%2.png").arg(iconsDir).arg(size)) && ok;
    }
    if (!sheetFile.isEmpty())
        ok = writePng(pictures::contactSheet(glyphs), sheetFile) && ok;
    return ok ? 0 : 1;
}
