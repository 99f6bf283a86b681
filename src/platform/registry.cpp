// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const QString rootName = QStringLiteral("HKEY_CURRENT_USER");
const QString softwareName = QStringLiteral("Software");

constexpr int maxKeyNameLength = 255;
constexpr int maxValueNameLength = 16383;
constexpr qint64 maxFileSize = 64 * 1024 * 1024;

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool validKeyName(const QString& name)
{
    if (name.isEmpty() || name.size() > maxKeyNameLength)
        return false;
    for (QChar c : name)
        if (isControl(c) || c == u'\\')
            return false;
    return true;
}

bool validValueName(const QString& name)
{
    if (name.size() > maxValueNameLength)
        return false;
    for (QChar c : name)
        if (isControl(c))
            return false;
    return true;
}

// "a\b\c" -> {a, b, c}; an empty text is the key itself. nullopt when malformed.
std::optional<QStringList> splitPath(const QString& text)
{
    if (text.isEmpty())
        return QStringList{};
    const QStringList parts = text.split(u'\\');
    for (const QString& p : parts)
        if (!validKeyName(p))
            return std::nullopt;
    return parts;
}

bool startsWith(const QStringList& path, const QStringList& prefix)
{
    if (path.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i)
        if (path[i] != prefix[i])
            return false;
    return true;
}

} // namespace

// ---- RegStore ---------------------------------------------------------------

RegStore::RegStore()
{
    m_keys[{}] = RegKey{};
    m_keys[fold({softwareName})] = RegKey{{softwareName}, {}};
}

QStringList RegStore::fold(const QStringList& path)
{
    QStringList out;
    out.reserve(path.size());
    for (const QString& p : path)
        out << p.toCaseFolded();
    return out;
}

bool RegStore::isBuiltIn(const QStringList& path) const
{
    return path.isEmpty() || (path.size() == 1 && path[0].compare(softwareName, Qt::CaseInsensitive) == 0);
}

const RegKey* RegStore::find(const QStringList& path) const
{
    auto it = m_keys.find(fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

RegKey* RegStore::find(const QStringList& path)
{
    auto it = m_keys.find(fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

RegKey& RegStore::create(const QStringList& path, bool* created)
{
    if (created)
        *created = false;
    QStringList folded;
    RegKey* key = &m_keys[{}];
    for (qsizetype i = 0; i < path.size(); ++i) {
        folded << path[i].toCaseFolded();
        auto it = m_keys.find(folded);
        if (it == m_keys.end()) {
            it = m_keys.emplace(folded, RegKey{path.mid(0, i + 1), {}}).first;
            if (created && i == path.size() - 1)
                *created = true;
        }
        key = &it->second;
    }
    return *key;
}

bool RegStore::remove(const QStringList& path)
{
    if (isBuiltIn(path))
        return false;
    const QStringList folded = fold(path);
    auto it = m_keys.find(folded);
    if (it == m_keys.end())
        return false;
    while (it != m_keys.end() && startsWith(it->first, folded))
        it = m_keys.erase(it);
    return true;
}

const RegValue* RegStore::value(const RegKey& key, const QString& name)
{
    for (const RegValue& v : key.values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return &v;
    return nullptr;
}

void RegStore::setValue(RegKey& key, const RegValue& value)
{
    for (RegValue& v : key.values) {
        if (v.name.compare(value.name, Qt::CaseInsensitive) == 0) {
            v.type = value.type;
            v.data = value.data;
            return;
        }
    }
    key.values.append(value);
}

bool RegStore::removeValue(RegKey& key, const QString& name)
{
    for (qsizetype i = 0; i < key.values.size(); ++i) {
        if (key.values[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            key.values.removeAt(i);
            return true;
        }
    }
    return false;
}

// ---- the .reg text ----------------------------------------------------------

namespace {

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
    const QString inner = line.mid(1, line.size() - 2).toString();
    const auto parts = splitPath(inner);
    if (!parts || parts->isEmpty() || parts->front().compare(rootName, Qt::CaseInsensitive) != 0)
        return false;
    path = parts->mid(1);
    return true;
}

bool parseValueLine(QStringView line, RegValue& value)
{
    qsizetype pos = 0;
    if (line.startsWith(u'@')) {
        value.name.clear();
        pos = 1;
    } else {
        const auto name = parseQuoted(line, pos);
        if (!name || !validValueName(*name))
            return false;
        value.name = *name;
    }
    QStringView rest = line.mid(pos).trimmed();
    if (!rest.startsWith(u'='))
        return false;
    rest = rest.mid(1).trimmed();

    if (rest.startsWith(u'"')) {
        qsizetype p = 0;
        const auto text = parseQuoted(rest, p);
        if (!text || p != rest.size())
            return false;
        value.type = REG_SZ;
        value.data = text->toUtf8();
        value.data.append('\0');
        return true;
    }
    if (rest.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const auto v = parseHex32(rest.mid(6));
        if (!v)
            return false;
        value.type = REG_DWORD;
        value.data.resize(4);
        for (int i = 0; i < 4; ++i)
            value.data[i] = char((*v >> (8 * i)) & 0xff);
        return true;
    }
    if (rest.startsWith(u"hex", Qt::CaseInsensitive)) {
        rest = rest.mid(3);
        DWORD type = REG_BINARY;
        if (rest.startsWith(u'(')) {
            const qsizetype close = rest.indexOf(u')');
            if (close < 0)
                return false;
            const auto t = parseHex32(rest.mid(1, close - 1));
            if (!t)
                return false;
            type = *t;
            rest = rest.mid(close + 1);
        }
        if (!rest.startsWith(u':'))
            return false;
        const auto bytes = parseHexBytes(rest.mid(1));
        if (!bytes)
            return false;
        value.type = type;
        value.data = *bytes;
        return true;
    }
    return false;
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

} // namespace

bool RegistryFile::parse(QByteArrayView text, RegStore& out, QString* error)
{
    auto fail = [error](qsizetype line, const char* what) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(line).arg(QLatin1String(what));
        return false;
    };

    if (text.size() > maxFileSize)
        return fail(0, "file too large");
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = dec.decode(text);
    if (dec.hasError())
        return fail(0, "not UTF-8 text");

    RegStore store;
    const QStringList lines = decoded.split(u'\n');
    bool seenHeader = false;
    RegKey* current = nullptr; // std::map keeps addresses stable as keys are added
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype lineNo = i + 1;
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        // Long hex values may go on over several lines, each but the last ending in '\'.
        while (line.endsWith(u'\\') && i + 1 < lines.size()) {
            QString next = lines[++i];
            if (next.endsWith(u'\r'))
                next.chop(1);
            line.chop(1);
            line += next.trimmed();
        }
        for (QChar c : line)
            if (c.unicode() == 0)
                return fail(lineNo, "zero character");
        if (!seenHeader) {
            if (line != QLatin1String(header))
                return fail(lineNo, "missing header");
            seenHeader = true;
            continue;
        }
        if (line.startsWith(u'[')) {
            QStringList path;
            if (!parseKeyLine(line, path))
                return fail(lineNo, "bad key line");
            current = &store.create(path);
            continue;
        }
        if (line.startsWith(u'"') || line.startsWith(u'@')) {
            if (!current)
                return fail(lineNo, "value outside a key");
            RegValue v;
            if (!parseValueLine(line, v))
                return fail(lineNo, "bad value line");
            RegStore::setValue(*current, v);
            continue;
        }
        return fail(lineNo, "unknown line");
    }
    out = std::move(store);
    return true;
}

QByteArray RegistryFile::serialize(const RegStore& store)
{
    QString text = QLatin1String(header) + QStringLiteral("\n\n");
    for (const auto& [folded, key] : store.keys()) {
        if (key.values.isEmpty() && store.isBuiltIn(key.path))
            continue;
        text += u'[' + rootName;
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

// ---- the file on disk -------------------------------------------------------

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus readWhole(const QString& path, QByteArray& bytes)
{
    bytes.clear();
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buf, n);
        if (bytes.size() > maxFileSize)
            break; // refused by the parser as too large
    }
    ::close(fd);
    return ReadStatus::Ok;
}

bool syncDir(const QString& dir)
{
    const int fd = ::open(encoded(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Temporary file beside the target, synced, renamed over it, directory synced.
bool replaceFile(const QString& path, const QByteArray& bytes)
{
    const QString tmp = path + QStringLiteral(".tmp");
    const int fd = ::open(encoded(tmp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(encoded(tmp).constData(), encoded(path).constData()) == 0;
    if (!ok) {
        ::unlink(encoded(tmp).constData());
        return false;
    }
    syncDir(QFileInfo(path).absolutePath());
    return true;
}

// flock on a separate file, so the lock survives the renames of the store.
class FileLock {
public:
    explicit FileLock(const QString& storePath)
    {
        m_fd = ::open(encoded(storePath + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return;
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// ---- handles and the pending changes ----------------------------------------

struct Op {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind;
    QStringList path;
    RegValue value;
};

class Engine {
public:
    ~Engine()
    {
        // Handles left open at exit: keep their changes, as the system would.
        std::lock_guard lock(m_mutex);
        if (!m_journal.empty())
            commit();
    }

    template <typename F>
    LONG run(F&& op)
    {
        std::vector<QString> notices;
        LONG result;
        {
            std::lock_guard lock(m_mutex);
            if (m_handles.empty())
                beginSession();
            result = op();
            if (m_handles.empty() && !m_journal.empty()) {
                const LONG c = commit();
                if (result == ERROR_SUCCESS)
                    result = c;
            }
            notices.swap(m_notices);
            if (!m_noticeHandler) {
                m_heldNotices.insert(m_heldNotices.end(), notices.begin(), notices.end());
                notices.clear();
            }
        }
        deliver(notices);
        return result;
    }

    void setNoticeHandler(std::function<void(QString)> handler)
    {
        std::vector<QString> held;
        {
            std::lock_guard lock(m_mutex);
            m_noticeHandler = std::move(handler);
            if (m_noticeHandler)
                held.swap(m_heldNotices);
        }
        deliver(held);
    }

    struct Handle {
        QStringList path;
        quint64 id = 0;
        REGSAM access = 0;
    };

    // The key a handle names, or an error.
    LONG resolve(HKEY h, Handle& out) const
    {
        if (h == HKEY_CURRENT_USER) {
            out = Handle{{}, 0, KEY_ALL_ACCESS};
            return ERROR_SUCCESS;
        }
        auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(h));
        if (it == m_handles.end())
            return ERROR_INVALID_HANDLE;
        auto id = m_ids.find(RegStore::fold(it->second.path));
        if (id == m_ids.end() || id->second != it->second.id)
            return ERROR_KEY_DELETED;
        out = it->second;
        return ERROR_SUCCESS;
    }

    HKEY newHandle(const QStringList& path, REGSAM access)
    {
        const std::uintptr_t h = m_nextHandle;
        m_nextHandle += 4;
        m_handles[h] = Handle{path, idOf(path), access};
        return reinterpret_cast<HKEY>(h);
    }

    bool closeHandle(HKEY h) { return m_handles.erase(reinterpret_cast<std::uintptr_t>(h)) > 0; }

    quint64 idOf(const QStringList& path)
    {
        quint64& id = m_ids[RegStore::fold(path)];
        if (!id)
            id = ++m_nextId;
        return id;
    }

    RegStore& store() { return m_store; }

    void createKey(const QStringList& path, bool* created)
    {
        m_store.create(path, created);
        if (*created) {
            for (qsizetype i = 1; i <= path.size(); ++i)
                idOf(path.mid(0, i));
            m_journal.push_back({Op::CreateKey, path, {}});
        }
    }

    void deleteKey(const QStringList& path)
    {
        const QStringList folded = RegStore::fold(path);
        for (auto it = m_ids.lower_bound(folded); it != m_ids.end() && startsWith(it->first, folded);)
            it = m_ids.erase(it);
        m_store.remove(path);
        m_journal.push_back({Op::DeleteKey, path, {}});
    }

    void setValue(const QStringList& path, const RegValue& v)
    {
        RegStore::setValue(*m_store.find(path), v);
        m_journal.push_back({Op::SetValue, path, v});
    }

    bool deleteValue(const QStringList& path, const QString& name)
    {
        if (!RegStore::removeValue(*m_store.find(path), name))
            return false;
        m_journal.push_back({Op::DeleteValue, path, RegValue{name, REG_NONE, {}}});
        return true;
    }

    LONG flush() { return m_journal.empty() ? ERROR_SUCCESS : commit(); }

private:
    // Reads the file afresh; a damaged file is moved aside and an empty store used.
    void beginSession()
    {
        m_path = registryFilePath();
        m_journal.clear();
        m_ids.clear();
        QByteArray bytes;
        m_store = RegStore();
        if (readWhole(m_path, bytes) != ReadStatus::Ok)
            return;
        QString error;
        if (RegistryFile::parse(bytes, m_store, &error))
            return;
        FileLock lock(m_path);
        // Another instance may have replaced it meanwhile: judge what is there now.
        if (readWhole(m_path, bytes) == ReadStatus::Ok && !RegistryFile::parse(bytes, m_store, &error))
            setAside(error);
    }

    void setAside(const QString& error)
    {
        QString target = m_path + QStringLiteral(".bad");
        for (int n = 2; QFileInfo::exists(target) && n < 100; ++n)
            target = m_path + QStringLiteral(".%1.bad").arg(n);
        if (::rename(encoded(m_path).constData(), encoded(target).constData()) == 0) {
            syncDir(QFileInfo(m_path).absolutePath());
            m_notices.push_back(QStringLiteral("Файл настроек «%1» повреждён (%2) и сохранён как «%3». "
                                               "Используются настройки по умолчанию.")
                                    .arg(QDir::toNativeSeparators(m_path), error,
                                         QDir::toNativeSeparators(target)));
        } else if (!m_toldUnwritable) {
            m_toldUnwritable = true;
            m_notices.push_back(QStringLiteral("Файл настроек «%1» повреждён (%2). Используются настройки "
                                               "по умолчанию; изменения не будут сохранены.")
                                    .arg(QDir::toNativeSeparators(m_path), error));
        }
    }

    // Replays the pending changes on the file as it is now, under the lock, and
    // replaces the file in one step.
    LONG commit()
    {
        std::vector<Op> journal;
        journal.swap(m_journal);
        const QString dir = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(dir))
            return ERROR_ACCESS_DENIED;
        FileLock lock(m_path);
        if (!lock.locked())
            return ERROR_ACCESS_DENIED;

        QByteArray onDisk;
        RegStore fresh;
        switch (readWhole(m_path, onDisk)) {
        case ReadStatus::Missing:
            break;
        case ReadStatus::Failed:
            return ERROR_ACCESS_DENIED;
        case ReadStatus::Ok: {
            QString error;
            if (!RegistryFile::parse(onDisk, fresh, &error)) {
                setAside(error);
                if (QFileInfo::exists(m_path))
                    return ERROR_ACCESS_DENIED; // never write over what could not be kept
                onDisk.clear();
            }
            break;
        }
        }

        for (const Op& op : journal) {
            switch (op.kind) {
            case Op::CreateKey:
                fresh.create(op.path);
                break;
            case Op::DeleteKey:
                fresh.remove(op.path);
                break;
            case Op::SetValue:
                if (RegKey* k = fresh.find(op.path))
                    RegStore::setValue(*k, op.value);
                break;
            case Op::DeleteValue:
                if (RegKey* k = fresh.find(op.path))
                    RegStore::removeValue(*k, op.value.name);
                break;
            }
        }

        const QByteArray bytes = RegistryFile::serialize(fresh);
        if (bytes != onDisk && !replaceFile(m_path, bytes))
            return ERROR_WRITE_FAULT;

        // Keep the keys that survived under their ids, so open handles stay valid.
        std::map<QStringList, quint64> ids;
        for (const auto& [folded, key] : fresh.keys()) {
            auto it = m_ids.find(folded);
            ids[folded] = it != m_ids.end() ? it->second : ++m_nextId;
        }
        m_ids.swap(ids);
        m_store = std::move(fresh);
        return ERROR_SUCCESS;
    }

    void deliver(const std::vector<QString>& notices)
    {
        std::function<void(QString)> handler;
        {
            std::lock_guard lock(m_mutex);
            handler = m_noticeHandler;
        }
        for (const QString& n : notices)
            if (handler)
                handler(n);
    }

    std::mutex m_mutex;
    QString m_path;
    RegStore m_store;
    std::map<QStringList, quint64> m_ids; // per existing key, to tell a deleted-and-recreated key
    quint64 m_nextId = 0;
    std::map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_nextHandle = 0x1000;
    std::vector<Op> m_journal;
    std::vector<QString> m_notices;
    std::vector<QString> m_heldNotices;
    std::function<void(QString)> m_noticeHandler;
    bool m_toldUnwritable = false;
};

Engine& engine()
{
    static Engine e;
    return e;
}

} // namespace

QString registryFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Tonvero/registry.reg");
}

void setNoticeHandler(std::function<void(QString)> handler)
{
    engine().setNoticeHandler(std::move(handler));
}

LONG RegOpenKeyEx(HKEY hKey, const QString& subKey, DWORD, REGSAM samDesired, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle parent;
        if (const LONG r = e.resolve(hKey, parent))
            return r;
        const auto rel = splitPath(subKey);
        if (!rel)
            return ERROR_INVALID_PARAMETER;
        const QStringList path = parent.path + *rel;
        if (!e.store().find(path))
            return ERROR_FILE_NOT_FOUND;
        *result = e.newHandle(path, samDesired);
        return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyEx(HKEY hKey, const QString& subKey, DWORD, const char*, DWORD options, REGSAM samDesired,
                    const void*, PHKEY result, DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options & REG_OPTION_VOLATILE)
        return ERROR_INVALID_PARAMETER;
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle parent;
        if (const LONG r = e.resolve(hKey, parent))
            return r;
        const auto rel = splitPath(subKey);
        if (!rel)
            return ERROR_INVALID_PARAMETER;
        const QStringList path = parent.path + *rel;
        bool created = false;
        if (!e.store().find(path)) {
            if (!(parent.access & KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            e.createKey(path, &created);
        }
        if (disposition)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *result = e.newHandle(path, samDesired);
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueEx(HKEY hKey, const QString& valueName, DWORD*, DWORD* type, BYTE* data, DWORD* cbData)
{
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle h;
        if (const LONG r = e.resolve(hKey, h))
            return r;
        if (!(h.access & KEY_QUERY_VALUE))
            return ERROR_ACCESS_DENIED;
        const RegValue* v = RegStore::value(*e.store().find(h.path), valueName);
        if (!v)
            return ERROR_FILE_NOT_FOUND;
        if (type)
            *type = v->type;
        if (!cbData)
            return ERROR_SUCCESS;
        const DWORD size = DWORD(v->data.size());
        const DWORD room = *cbData;
        *cbData = size;
        if (!data)
            return ERROR_SUCCESS;
        if (room < size)
            return ERROR_MORE_DATA;
        if (size)
            std::memcpy(data, v->data.constData(), size);
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueEx(HKEY hKey, const QString& valueName, DWORD, DWORD type, const BYTE* data, DWORD cbData)
{
    if (!validValueName(valueName) || (!data && cbData))
        return ERROR_INVALID_PARAMETER;
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle h;
        if (const LONG r = e.resolve(hKey, h))
            return r;
        if (!(h.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        e.setValue(h.path, RegValue{valueName, type,
                                    QByteArray(reinterpret_cast<const char*>(data), qsizetype(cbData))});
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY hKey, const QString& valueName)
{
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle h;
        if (const LONG r = e.resolve(hKey, h))
            return r;
        if (!(h.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        return e.deleteValue(h.path, valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKey(HKEY hKey, const QString& subKey)
{
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle parent;
        if (const LONG r = e.resolve(hKey, parent))
            return r;
        const auto rel = splitPath(subKey);
        if (!rel || rel->isEmpty())
            return ERROR_INVALID_PARAMETER;
        const QStringList path = parent.path + *rel;
        if (!e.store().find(path))
            return ERROR_FILE_NOT_FOUND;
        if (e.store().isBuiltIn(path))
            return ERROR_ACCESS_DENIED;
        e.deleteKey(path);
        return ERROR_SUCCESS;
    });
}

LONG RegFlushKey(HKEY hKey)
{
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle h;
        if (const LONG r = e.resolve(hKey, h))
            return r;
        return e.flush();
    });
}

LONG RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    Engine& e = engine();
    return e.run([&]() -> LONG { return e.closeHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; });
}

} // namespace platform
