// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/regformat.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
std::optional<DWORD> parseHex32(QStringView s)
{
    if (s.isEmpty() || s.size() > 8)
        return std::nullopt;
    DWORD v = 0;
    for (QChar c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | DWORD(d);
    }
    return v;
}

// "01,ab, 3f" -> bytes; empty text -> no bytes.
std::optional<QByteArray> parseHexBytes(QStringView s)
{
    QByteArray out;
    s = s.trimmed();
    if (s.isEmpty())
        return out;
    for (QStringView tok : s.tokenize(u',')) {
        tok = tok.trimmed();
        if (tok.isEmpty() || tok.size() > 2)
            return std::nullopt;
        const auto v = parseHex32(tok);
        if (!v)
            return std::nullopt;
        out.append(char(*v));
    }
    return out;
}

// A quoted text with \\ and \" escapes starting at s[pos] == '"'. On success pos
// is just past the closing quote.
std::optional<QString> parseQuoted(QStringView s, qsizetype& pos)
{
    if (pos >= s.size() || s[pos] != u'"')
        return std::nullopt;
    QString out;
    for (qsizetype i = pos + 1; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"') {
            pos = i + 1;
            return out;
        }
        if (c == u'\\') {
            if (i + 1 >= s.size() || (s[i + 1] != u'\\' && s[i + 1] != u'"'))
                return std::nullopt;
            out += s[++i];
            continue;
        }
        if (isControl(c))
            return std::nullopt;
        out += c;
    }
    return std::nullopt;
}

QString quoted(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += u'"';
    for (QChar c : s) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

// A REG_SZ is written as a quoted text when that gives back the same bytes.
bool printableString(const QByteArray& data, QString& text)
{
    if (data.isEmpty() || data.back() != '\0')
        return false;
    const QByteArrayView body(data.constData(), data.size() - 1);
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = dec.decode(body);
    if (dec.hasError())
        return false;
    for (QChar c : text)
        if (isControl(c))
            return false; // includes an inner zero
    return text.toUtf8() == body;
}

bool parseKeyLine(QStringView line, QStringList& path)
{
    // "[HKEY_CURRENT_USER\a\b]"
    if (line.size() < 2 || line.front() != u'[' || line.back() != u']')
        return false;
    const auto parts = splitKeyPath(line.mid(1, line.size() - 2).toString());
    if (!parts || parts->isEmpty() || parts->front().compare(QLatin1String(regRootName), Qt::CaseInsensitive) != 0)
        return false;
    path = parts->mid(1);
    return true;
}

// "word:" or "word(...):", the shape of a typed value whose type we may not know.
bool looksTyped(QStringView s)
{
    qsizetype i = 0;
    auto letter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (s.isEmpty() || !letter(s[0]))
        return false;
    while (i < s.size() && (letter(s[i]) || (s[i] >= u'0' && s[i] <= u'9') || s[i] == u'_'))
        ++i;
    if (i < s.size() && s[i] == u'(') {
        const qsizetype close = s.indexOf(u')', i);
        if (close < 0)
            return false;
        i = close + 1;
    }
    return i < s.size() && s[i] == u':';
}

enum class ValueLine { Ok, Skipped, Bad };

ValueLine parseValueLine(QStringView line, RegValue& value, bool& inHex)
{
    inHex = false;
    qsizetype pos = 0;
    if (line.startsWith(u'@')) {
        value.name.clear();
        pos = 1;
    } else {
        const auto name = parseQuoted(line, pos);
        if (!name || !isValidValueName(*name))
            return ValueLine::Bad;
        value.name = *name;
    }
    QStringView rest = line.mid(pos).trimmed();
    if (!rest.startsWith(u'='))
        return ValueLine::Bad;
    rest = rest.mid(1).trimmed();

    if (rest.startsWith(u'"')) {
        qsizetype p = 0;
        const auto text = parseQuoted(rest, p);
        if (!text || p != rest.size())
            return ValueLine::Bad;
        value.type = REG_SZ;
        value.data = text->toUtf8();
        value.data.append('\0');
        return ValueLine::Ok;
    }
    if (rest.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const auto v = parseHex32(rest.mid(6));
        if (!v)
            return ValueLine::Bad;
        value.type = REG_DWORD;
        value.data.resize(4);
        for (int i = 0; i < 4; ++i)
            value.data[i] = char((*v >> (8 * i)) & 0xff);
        return ValueLine::Ok;
    }
    if (rest.startsWith(u"hex", Qt::CaseInsensitive)) {
        rest = rest.mid(3);
        DWORD type = REG_BINARY;
        if (rest.startsWith(u'(')) {
            const qsizetype close = rest.indexOf(u')');
            if (close < 0)
                return ValueLine::Bad;
            const auto t = parseHex32(rest.mid(1, close - 1));
            if (!t)
                return ValueLine::Bad;
            type = *t;
            rest = rest.mid(close + 1);
        }
        if (!rest.startsWith(u':'))
            return ValueLine::Bad;
        const auto bytes = parseHexBytes(rest.mid(1));
        if (!bytes)
            return ValueLine::Bad;
        value.type = type;
        value.data = *bytes;
        inHex = true;
        return ValueLine::Ok;
    }
    // Some tools write forms such as qword:; they are no type this program uses.
    return looksTyped(rest) ? ValueLine::Skipped : ValueLine::Bad;
}

// Windows keeps string data as UTF-16; this store keeps it as UTF-8.
void windowsStringToUtf8(RegValue& v)
{
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ && v.type != REG_MULTI_SZ)
        return;
    if (v.data.size() % 2)
        return;
    QString text(v.data.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(uchar(v.data[2 * i]) | (uchar(v.data[2 * i + 1]) << 8)));
    if (QStringView(text).isValidUtf16())
        v.data = text.toUtf8();
}

QString hexBytes(const QByteArray& data)
{
    QString out;
    out.reserve(data.size() * 3);
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i)
            out += u',';
        out += QString::asprintf("%02x", unsigned(uchar(data[i])));
    }
    return out;
}

// ---- from bytes to lines ------------------------------------------------------

enum class Encoding { Utf8, Utf16LE, Utf16BE };

struct Lines {
    QStringList text;
    std::vector<RegParseError::Kind> faults; // one per line once any line is at fault, else empty

    void fault(qsizetype index, RegParseError::Kind kind)
    {
        if (faults.empty())
            faults.assign(size_t(text.size()), RegParseError::None);
        if (faults[size_t(index)] == RegParseError::None)
            faults[size_t(index)] = kind;
    }
    RegParseError::Kind faultOf(qsizetype index) const
    {
        return faults.empty() ? RegParseError::None : faults[size_t(index)];
    }
};

// Drops the byte-order mark. Without one, UTF-16 shows as a zero beside the first ASCII character.
Encoding takeEncoding(QByteArrayView& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes = bytes.sliced(3);
        return Encoding::Utf8;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        bytes = bytes.sliced(2);
        return Encoding::Utf16LE;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        bytes = bytes.sliced(2);
        return Encoding::Utf16BE;
    }
    if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0')
        return Encoding::Utf16LE;
    if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] != '\0')
        return Encoding::Utf16BE;
    return Encoding::Utf8;
}

Lines utf8Lines(QByteArrayView bytes)
{
    Lines out;
    QStringDecoder whole(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = whole.decode(bytes);
    if (!whole.hasError()) {
        out.text = text.split(u'\n');
        return out;
    }
    // Rarely taken: decode line by line to tell which lines are at fault.
    std::vector<qsizetype> bad;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        out.text << dec.decode(QByteArrayView(p, (nl ? nl : end) - p));
        if (dec.hasError())
            bad.push_back(out.text.size() - 1);
        if (!nl)
            break;
        p = nl + 1;
    }
    for (qsizetype i : bad)
        out.fault(i, RegParseError::BadBytes);
    return out;
}

Lines utf16Lines(QByteArrayView bytes, bool littleEndian)
{
    Lines out;
    const auto* b = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    QChar* d = text.data();
    for (qsizetype i = 0; i < units; ++i) {
        const uchar lo = littleEndian ? b[2 * i] : b[2 * i + 1];
        const uchar hi = littleEndian ? b[2 * i + 1] : b[2 * i];
        d[i] = QChar(char16_t(lo | (hi << 8)));
    }
    out.text = text.split(u'\n');
    for (qsizetype i = 0; i < out.text.size(); ++i)
        if (!QStringView(out.text[i]).isValidUtf16())
            out.fault(i, RegParseError::BadCharacter);
    // A file cut short by one byte has mostly lost half of its last line end: harmless.
    if (bytes.size() % 2) {
        const uchar tail = b[bytes.size() - 1];
        if (tail != '\0' && tail != '\n' && tail != '\r') {
            out.text.back() += QChar::ReplacementCharacter;
            out.fault(out.text.size() - 1, RegParseError::CutCharacter);
        }
    }
    return out;
}

bool hasControlBesidesTab(const QString& line)
{
    for (QChar c : line)
        if (isControl(c) && c != u'\t')
            return true;
    return false;
}

} // namespace

QString RegParseError::message() const
{
    static constexpr struct {
        RegParseError::Kind kind;
        const char* text;
    } reasons[] = {
        {TooLarge, QT_TRANSLATE_NOOP("RegistryFile", "файл слишком велик")},
        {NotText, QT_TRANSLATE_NOOP("RegistryFile", "это не текстовый файл")},
        {BadBytes, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: испорченные символы")},
        {BadCharacter, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: испорченный символ")},
        {CutCharacter, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: файл обрывается посреди символа")},
        {MissingHeader, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: нет заголовка файла реестра")},
        {BadKey, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: неверное имя раздела")},
        {ValueOutsideKey, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: параметр вне раздела")},
        {BadValue, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: неверная запись параметра")},
        {UnknownLine, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: непонятная строка")},
        {ZeroCharacter, QT_TRANSLATE_NOOP("RegistryFile", "строка %1: нулевой символ в тексте")},
    };
    for (const auto& r : reasons) {
        if (r.kind != kind)
            continue;
        const QString text = QCoreApplication::translate("RegistryFile", r.text);
        return line > 0 ? text.arg(line) : text;
    }
    return {};
}

bool RegistryFile::parse(QByteArrayView text, RegStore& out, RegParseError& error)
{
    auto fail = [&error](RegParseError::Kind kind, qsizetype line) {
        error = RegParseError{kind, line};
        return false;
    };

    if (text.size() > maxSize)
        return fail(RegParseError::TooLarge, 0);
    const Encoding encoding = takeEncoding(text);
    const Lines lines = encoding == Encoding::Utf8 ? utf8Lines(text)
                                                   : utf16Lines(text, encoding == Encoding::Utf16LE);

    RegStore store;
    bool seenHeader = false;
    RegKey* current = nullptr; // std::map keeps addresses stable as keys are added
    const qsizetype count = lines.text.size();
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype lineNo = i + 1;
        QString line = lines.text[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        qsizetype faultLine = 0;
        RegParseError::Kind fault = RegParseError::None;
        auto noteFault = [&](qsizetype index) {
            if (!faultLine && lines.faultOf(index) != RegParseError::None) {
                faultLine = index + 1;
                fault = lines.faultOf(index);
            }
        };
        noteFault(i);
        // Long hex values may go on over several lines, each but the last ending in '\'.
        while (line.endsWith(u'\\') && i + 1 < count) {
            noteFault(++i);
            line.chop(1);
            line += lines.text[i].trimmed();
        }
        if (!seenHeader) {
            if (faultLine || hasControlBesidesTab(line))
                return fail(RegParseError::NotText, 0);
            // The registry editor's older format holds the same lines; what this program stores is ASCII.
            if (line != QLatin1String(header) && line != QLatin1String(olderHeader))
                return fail(RegParseError::MissingHeader, lineNo);
            seenHeader = true;
            continue;
        }
        if (faultLine)
            return fail(fault, faultLine);
        if (line.contains(QChar(u'\0')))
            return fail(RegParseError::ZeroCharacter, lineNo);
        if (line.startsWith(u'[')) {
            QStringList path;
            if (!parseKeyLine(line, path))
                return fail(RegParseError::BadKey, lineNo);
            current = &store.create(path);
            continue;
        }
        if (line.startsWith(u'"') || line.startsWith(u'@')) {
            if (!current)
                return fail(RegParseError::ValueOutsideKey, lineNo);
            RegValue v;
            bool inHex = false;
            switch (parseValueLine(line, v, inHex)) {
            case ValueLine::Bad:
                return fail(RegParseError::BadValue, lineNo);
            case ValueLine::Skipped:
                continue;
            case ValueLine::Ok:
                break;
            }
            if (inHex && encoding != Encoding::Utf8)
                windowsStringToUtf8(v);
            RegStore::setValue(*current, v);
            continue;
        }
        return fail(RegParseError::UnknownLine, lineNo);
    }
    out = std::move(store);
    return true;
}

bool RegistryFile::parse(QByteArrayView text, RegStore& out, QString* error)
{
    RegParseError e;
    if (parse(text, out, e))
        return true;
    if (error)
        *error = e.message();
    return false;
}

QByteArray RegistryFile::serialize(const RegStore& store)
{
    QString text = QLatin1String(header) + QStringLiteral("\n\n");
    const QString root = QLatin1String(regRootName);
    for (const auto& [folded, key] : store.keys()) {
        if (key.values.isEmpty() && store.isBuiltIn(key.path))
            continue;
        text += u'[' + root;
        for (const QString& p : key.path)
            text += u'\\' + p;
        text += u"]\n";
        for (const RegValue& v : key.values) {
            text += v.name.isEmpty() ? QStringLiteral("@") : quoted(v.name);
            text += u'=';
            QString str;
            if (v.type == REG_DWORD && v.data.size() == 4) {
                DWORD n = 0;
                for (int i = 0; i < 4; ++i)
                    n |= DWORD(uchar(v.data[i])) << (8 * i);
                text += QString::asprintf("dword:%08x", n);
            } else if (v.type == REG_SZ && printableString(v.data, str)) {
                text += quoted(str);
            } else if (v.type == REG_BINARY) {
                text += QStringLiteral("hex:") + hexBytes(v.data);
            } else {
                text += QString::asprintf("hex(%x):", v.type) + hexBytes(v.data);
            }
            text += u'\n';
        }
        text += u'\n';
    }
    return text.toUtf8();
}

} // namespace platform
