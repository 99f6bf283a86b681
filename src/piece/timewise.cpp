// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/timewise.h"

#include "piece/musicxmlreader.h"

#include <QCoreApplication>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <memory>
#include <vector>

namespace tonvero::piece {

namespace {

struct PartOut {
    QString id;
    QByteArray bytes;
    std::unique_ptr<QXmlStreamWriter> writer;
};

class Regrouper {
public:
    explicit Regrouper(const QByteArray& bytes) : m_xml(bytes), m_header(&m_headerBytes) {}

    // The context lupdate gives texts in the class.
    static QString tr(const char* text) { return QCoreApplication::translate("tonvero::piece::Regrouper", text); }

    bool run(QByteArray& partwise, QString& error);

private:
    bool fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = tr("строка %1: %2").arg(m_xml.lineNumber()).arg(message);
        return false;
    }
    bool next();
    bool copyElement(QXmlStreamWriter& writer);
    bool readMeasure();
    PartOut* part(const QString& id);

    QXmlStreamReader m_xml;
    QByteArray m_headerBytes;
    QXmlStreamWriter m_header;
    // Each writer points at its part's bytes: parts never move.
    std::vector<std::unique_ptr<PartOut>> m_parts;
    QString m_error;
    int m_depth = 0;
    qint64 m_written = 0;
};

bool Regrouper::next()
{
    const auto token = m_xml.readNext();
    if (token == QXmlStreamReader::StartElement && ++m_depth > limits::MaxDepth)
        return fail(tr("элементы вложены глубже %1 уровней").arg(limits::MaxDepth));
    if (token == QXmlStreamReader::EndElement)
        --m_depth;
    return !m_xml.hasError();
}

// The current element whole, its start tag included, into writer.
bool Regrouper::copyElement(QXmlStreamWriter& writer)
{
    const int depth = m_depth;
    writer.writeCurrentToken(m_xml);
    while (m_depth >= depth) {
        if (!next())
            return false;
        writer.writeCurrentToken(m_xml);
    }
    return true;
}

PartOut* Regrouper::part(const QString& id)
{
    for (const auto& p : m_parts)
        if (p->id == id)
            return p.get();
    if (int(m_parts.size()) >= limits::MaxParts) {
        fail(tr("больше %1 партий").arg(limits::MaxParts));
        return nullptr;
    }
    auto& p = m_parts.emplace_back(std::make_unique<PartOut>());
    p->id = id;
    p->writer = std::make_unique<QXmlStreamWriter>(&p->bytes);
    p->writer->writeStartElement(QStringLiteral("part"));
    p->writer->writeAttribute(QStringLiteral("id"), id);
    return p.get();
}

// One timewise measure: each of its parts becomes that part's next measure.
bool Regrouper::readMeasure()
{
    const QXmlStreamAttributes measure = m_xml.attributes();
    const int depth = m_depth;
    while (next() && m_depth >= depth) {
        if (m_xml.tokenType() != QXmlStreamReader::StartElement)
            continue;
        const int partDepth = m_depth;
        if (m_xml.name() != QLatin1String("part")) {
            while (m_depth >= partDepth)
                if (!next())
                    return false;
            continue;
        }
        PartOut* p = part(m_xml.attributes().value(QLatin1String("id")).toString());
        if (!p)
            return false;
        const qint64 before = p->bytes.size();
        p->writer->writeStartElement(QStringLiteral("measure"));
        p->writer->writeAttributes(measure);
        for (;;) {
            if (!next())
                return false;
            if (m_depth < partDepth)
                break;
            p->writer->writeCurrentToken(m_xml);
        }
        p->writer->writeEndElement();
        // Each part repeats the measure's attributes: bound what that can add up to.
        m_written += p->bytes.size() - before;
        if (m_written > limits::MaxFileBytes)
            return fail(tr("партитура по партиям вышла бы больше %1 МиБ").arg(limits::MaxFileBytes / (1024 * 1024)));
    }
    return !m_xml.hasError();
}

bool Regrouper::run(QByteArray& partwise, QString& error)
{
    QXmlStreamAttributes rootAttributes;
    while (!m_xml.atEnd() && next() && m_xml.tokenType() != QXmlStreamReader::StartElement) {
    }
    if (m_xml.tokenType() == QXmlStreamReader::StartElement) {
        rootAttributes = m_xml.attributes();
        while (m_error.isEmpty() && next() && m_depth >= 1) {
            if (m_xml.tokenType() != QXmlStreamReader::StartElement)
                continue;
            if (m_xml.name() == QLatin1String("measure"))
                readMeasure();
            else
                copyElement(m_header);
        }
    }
    if (m_error.isEmpty() && m_xml.hasError())
        m_error = tr("испорченный XML, строка %1, столбец %2: %3")
                      .arg(m_xml.lineNumber())
                      .arg(m_xml.columnNumber())
                      .arg(m_xml.errorString());
    if (!m_error.isEmpty()) {
        error = m_error;
        return false;
    }

    partwise.clear();
    QXmlStreamWriter root(&partwise);
    root.writeStartDocument();
    root.writeStartElement(QStringLiteral("score-partwise"));
    root.writeAttributes(rootAttributes);
    root.writeCharacters(QString()); // closes the start tag before the raw bytes
    partwise += m_headerBytes;
    for (const auto& p : m_parts) {
        p->writer->writeEndElement();
        partwise += p->bytes;
        p->bytes.clear();
    }
    partwise += "</score-partwise>\n";
    return true;
}

} // namespace

bool timewiseToPartwise(const QByteArray& timewise, QByteArray& partwise, QString& error)
{
    return Regrouper(timewise).run(partwise, error);
}

} // namespace tonvero::piece
