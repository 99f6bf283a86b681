// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures.h"

#include <QFile>
#include <QStringList>
#include <QTransform>

namespace pictures {

namespace {

constexpr qreal kEm = 1000;

const QStringList &fontDirs()
{
    static const QStringList dirs = {
        QStringLiteral("/usr/share/fonts/truetype/freefont"),
        QStringLiteral("/usr/share/fonts/opentype/freefont"),
        QStringLiteral("/usr/local/share/fonts/freefont"),
    };
    return dirs;
}

bool loadFont(QRawFont &font, const QString &file, QString *error)
{
    QStringList tried;
    const QByteArray overrideDir = qgetenv("TONVERO_PICTURES_FONT_DIR");
    QStringList dirs = fontDirs();
    if (!overrideDir.isEmpty())
        dirs.prepend(QString::fromLocal8Bit(overrideDir));
    for (const QString &dir : dirs) {
        const QString path = dir + QLatin1Char('/') + file;
        tried << path;
        if (!QFile::exists(path))
            continue;
        font.loadFromFile(path, kEm, QFont::PreferNoHinting);
        if (font.isValid())
            return true;
    }
    *error = QStringLiteral("cannot load %1 (install the Debian package fonts-freefont-ttf); tried: %2")
                 .arg(file, tried.join(QStringLiteral(", ")));
    return false;
}

} // namespace

bool Glyphs::load(QString *error)
{
    return loadFont(m_serif, QStringLiteral("FreeSerif.ttf"), error)
        && loadFont(m_serifBold, QStringLiteral("FreeSerifBold.ttf"), error)
        && loadFont(m_sans, QStringLiteral("FreeSans.ttf"), error);
}

QPainterPath Glyphs::outline(const QRawFont &font, char32_t cp)
{
    const QString s = QString::fromUcs4(&cp, 1);
    const QList<quint32> glyphs = font.glyphIndexesForString(s);
    if (glyphs.isEmpty() || glyphs.first() == 0)
        return {};
    QPainterPath path = font.pathForGlyph(glyphs.first());
    path.setFillRule(Qt::WindingFill);
    return path;
}

QPainterPath Glyphs::music(char32_t cp) const { return outline(m_serif, cp); }
QPainterPath Glyphs::bold(char32_t cp) const { return outline(m_serifBold, cp); }

QPainterPath Glyphs::label(const QString &text, qreal pixelSize) const
{
    QPainterPath result;
    const QList<quint32> glyphs = m_sans.glyphIndexesForString(text);
    const QList<QPointF> advances = m_sans.advancesForGlyphIndexes(glyphs);
    const qreal k = pixelSize / kEm;
    qreal x = 0;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        QPainterPath g = m_sans.pathForGlyph(glyphs[i]);
        result.addPath(QTransform(k, 0, 0, k, x, 0).map(g));
        x += advances[i].x() * k;
    }
    result.setFillRule(Qt::WindingFill);
    return result;
}

double Grain::next()
{
    // xorshift32: the same sequence on every machine.
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return (m_state >> 8) / double(1u << 24);
}

QColor markColour(int mark)
{
    static const QColor colours[3] = {QColor(214, 24, 24), QColor(24, 168, 48), QColor(30, 84, 220)};
    return colours[mark];
}

} // namespace pictures
