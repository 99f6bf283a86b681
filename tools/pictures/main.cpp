// SPDX-License-Identifier: GPL-3.0-or-later
// Draws every picture of the trainer:
//   tonvero_pictures <pictures dir> [--icons <dir>] [--contact-sheet <file.png>]
// Each picture is written as <id>.png and, drawn at twice the size, <id>@2x.png.
// Checks the committed pictures against a fresh drawing:
//   tonvero_pictures --check <source dir> <work dir>    draw into <work dir>, then compare
//   tonvero_pictures --compare <source dir> <work dir>  compare what <work dir> already holds
#include "comparison.h"
#include "pictures.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
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
                         "       tonvero_pictures --contact-sheet <file.png>\n"
                         "       tonvero_pictures --check <source dir> <work dir>\n"
                         "       tonvero_pictures --compare <source dir> <work dir>\n");
    return 2;
}

bool makeDir(const QString &dir)
{
    if (QDir().mkpath(dir))
        return true;
    std::fprintf(stderr, "tonvero_pictures: cannot create %s\n", qPrintable(dir));
    return false;
}

bool drawAll(const pictures::Glyphs &glyphs, const QString &picturesDir, const QString &iconsDir,
             const QString &sheetFile)
{
    bool ok = true;
    if (!picturesDir.isEmpty()) {
        if (!makeDir(picturesDir))
            return false;
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
        if (!makeDir(iconsDir))
            return false;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            ok = writePng(pictures::renderIcon(glyphs, size),
                          QStringLiteral("%1/tonvero-%2.png").arg(iconsDir).arg(size)) && ok;
    }
    if (!sheetFile.isEmpty())
        ok = writePng(pictures::contactSheet(glyphs), sheetFile) && ok;
    return ok;
}

// A drawn file in the work dir and where its committed copy lives in the source tree.
struct Drawn {
    QString path;
    QString committed;
};

constexpr auto kDiffSuffix = ".diff.png";

QList<Drawn> drawnFiles(const QString &workDir)
{
    QList<Drawn> out;
    const std::pair<const char *, const char *> places[] = {{"pictures", "res/pictures"}, {"icons", "res/icons"}};
    for (const auto &[sub, committed] : places) {
        const QDir dir(workDir + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &f : dir.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
            if (!f.endsWith(QLatin1String(kDiffSuffix)))
                out.append({dir.filePath(f), QLatin1String(committed) + QLatin1Char('/') + f});
    }
    const QString sheet = workDir + QLatin1String("/pictures.png");
    if (QFile::exists(sheet))
        out.append({sheet, QStringLiteral("docs/pictures.png")});
    return out;
}

// Leaves nothing of an earlier drawing behind to be compared.
void removeDrawn(const QString &workDir)
{
    for (const Drawn &d : drawnFiles(workDir))
        QFile::remove(d.path);
}

void removeOldDifferences(const QString &workDir)
{
    QDirIterator it(workDir, {QStringLiteral("*") + QLatin1String(kDiffSuffix)}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::remove(it.next());
}

QString toleranceText(const pictures::Tolerance &t)
{
    return QStringLiteral("each channel, alpha included, within %1 levels, in at most %2 % of the pixels "
                          "or %3 pixels, whichever is more")
        .arg(t.levels)
        .arg(t.share * 100, 0, 'f', 1)
        .arg(t.fewPixels);
}

QString percent(double share) { return QString::number(share * 100, 'g', 3); }

QString pixels(qint64 n) { return n == 1 ? QStringLiteral("1 pixel") : QStringLiteral("%1 pixels").arg(n); }

QString levels(int n) { return n == 1 ? QStringLiteral("1 level") : QStringLiteral("%1 levels").arg(n); }

void say(const QString &line) { std::fprintf(stdout, "%s\n", qPrintable(line)); }

// Every drawn file against its committed copy, pixel by pixel within the
// tolerance: bytes differ between machines whose CPUs round differently.
int compareWithCommitted(const QString &sourceDir, const QString &workDir)
{
    removeOldDifferences(workDir);
    const QList<Drawn> drawn = drawnFiles(workDir);
    if (drawn.size() < 40) {
        std::fprintf(stderr, "tonvero_pictures: only %d pictures drawn in %s\n", int(drawn.size()),
                     qPrintable(workDir));
        return 1;
    }
    const pictures::Tolerance tolerance;
    int failed = 0;
    for (const Drawn &d : drawn) {
        const QString committedPath = sourceDir + QLatin1Char('/') + d.committed;
        const QImage made(d.path);
        if (made.isNull()) {
            say(QStringLiteral("%1: cannot read the drawn picture %2").arg(d.committed, d.path));
            ++failed;
            continue;
        }
        if (!QFile::exists(committedPath)) {
            say(QStringLiteral("%1: not committed (drawn: %2)").arg(d.committed, d.path));
            ++failed;
            continue;
        }
        const QImage committed(committedPath);
        if (committed.isNull()) {
            say(QStringLiteral("%1: cannot read the committed file as a PNG picture").arg(d.committed));
            ++failed;
            continue;
        }
        const pictures::PictureDifference diff = pictures::comparePictures(made, committed, tolerance);
        if (diff.withinTolerance(tolerance)) {
            if (diff.changed)
                say(QStringLiteral("%1: within tolerance: %2 changed, %3 of them visibly (%4 %), "
                                   "largest difference %5")
                        .arg(d.committed, pixels(diff.changed))
                        .arg(diff.differing)
                        .arg(percent(diff.share()), levels(diff.largest)));
            continue;
        }
        ++failed;
        QString line = diff.sameSize()
            ? QStringLiteral("%1: DIFFERS: %2x%3 px, %4 pixels differ (%5 %, at most %6 allowed), "
                             "largest difference %7")
                  .arg(d.committed)
                  .arg(made.width())
                  .arg(made.height())
                  .arg(diff.differing)
                  .arg(percent(diff.share()))
                  .arg(diff.allowed)
                  .arg(levels(diff.largest))
            : QStringLiteral("%1: DIFFERS in size: drawn %2x%3 px, committed %4x%5 px")
                  .arg(d.committed)
                  .arg(made.width())
                  .arg(made.height())
                  .arg(committed.width())
                  .arg(committed.height());
        const QString picture = d.path.chopped(4) + QLatin1String(kDiffSuffix);
        if (writePng(pictures::differencePicture(made, committed, tolerance), picture))
            line += QStringLiteral("; committed, drawn and differences in %1").arg(picture);
        say(line);
    }
    if (failed) {
        say(QStringLiteral("tonvero_pictures: %1 of %2 pictures do not match the committed ones (tolerance: %3).\n"
                           "In the difference pictures red marks a change beyond the levels, orange a visible one "
                           "within them, blue one that shows the same.\n"
                           "If the change is meant, remake the pictures: build/tools/pictures/tonvero_pictures "
                           "res/pictures --icons res/icons --contact-sheet docs/pictures.png")
                .arg(failed)
                .arg(drawn.size())
                .arg(toleranceText(tolerance)));
        return 1;
    }
    say(QStringLiteral("tonvero_pictures: all %1 pictures match the committed ones (%2)")
            .arg(drawn.size())
            .arg(toleranceText(tolerance)));
    return 0;
}

bool sameDir(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString picturesDir, iconsDir, sheetFile;
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && (args[0] == QLatin1String("--check") || args[0] == QLatin1String("--compare"))) {
        if (args.size() != 3)
            return usage();
        const QString &sourceDir = args[1], &workDir = args[2];
        if (args[0] == QLatin1String("--compare"))
            return compareWithCommitted(sourceDir, workDir);
        picturesDir = workDir + QLatin1String("/pictures");
        iconsDir = workDir + QLatin1String("/icons");
        sheetFile = workDir + QLatin1String("/pictures.png");
        // Drawing there would overwrite what it is meant to check.
        if (sameDir(picturesDir, sourceDir + QLatin1String("/res/pictures"))
            || sameDir(iconsDir, sourceDir + QLatin1String("/res/icons"))) {
            std::fprintf(stderr, "tonvero_pictures: the work dir must lie outside the source tree's res/\n");
            return 2;
        }
        removeDrawn(workDir);
    } else {
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
    }

    pictures::Glyphs glyphs;
    QString error;
    if (!glyphs.load(&error)) {
        std::fprintf(stderr, "tonvero_pictures: %s\n", qPrintable(error));
        return 1;
    }
    if (!drawAll(glyphs, picturesDir, iconsDir, sheetFile))
        return 1;
    if (args[0] == QLatin1String("--check"))
        return compareWithCommitted(args[1], args[2]);
    return 0;
}
