// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/registry.h"

#include "platform/registry/atomicfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

namespace {

// ---- handles and the pending changes ----------------------------------------

struct Op {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind;
    QStringList path;
    RegValue value;
};

// A notice for the user, put into words when it is told.
using Notice = std::function<QString()>;

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
        std::vector<Notice> notices, saveNotices;
        std::function<void(QString)> saveHandler;
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
            // Without a handler of their own, save failures are notices like the others.
            if (m_saveHandler)
                saveNotices.swap(m_saveNotices);
            else
                m_notices.insert(m_notices.end(), m_saveNotices.begin(), m_saveNotices.end());
            m_saveNotices.clear();
            saveHandler = m_saveHandler;
            notices.swap(m_notices);
            if (!m_noticeHandler) {
                m_heldNotices.insert(m_heldNotices.end(), notices.begin(), notices.end());
                notices.clear();
            }
        }
        deliver(notices);
        for (const Notice& n : saveNotices)
            saveHandler(n());
        return result;
    }

    void setSaveNoticeHandler(std::function<void(QString)> handler)
    {
        std::lock_guard lock(m_mutex);
        m_saveHandler = std::move(handler);
    }

    void setNoticeHandler(std::function<void(QString)> handler)
    {
        std::vector<Notice> held;
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

    void createKey(const QStringList& path, bool* created, bool deferred)
    {
        m_store.create(path, created);
        if (*created) {
            for (qsizetype i = 1; i <= path.size(); ++i)
                idOf(path.mid(0, i));
            if (!deferred) {
                m_journal.push_back({Op::CreateKey, path, {}});
            } else {
                if (m_deferred.empty()) {
                    m_deferredOn = m_base;
                    m_deferredPath = m_path;
                }
                m_deferred.push_back(path);
            }
        }
    }

    void deleteKey(const QStringList& path)
    {
        const QStringList folded = RegStore::fold(path);
        for (auto it = m_ids.lower_bound(folded); it != m_ids.end() && isPathWithin(it->first, folded);)
            it = m_ids.erase(it);
        std::erase_if(m_deferred, [&](const QStringList& p) { return isPathWithin(RegStore::fold(p), folded); });
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
    // Reads the file afresh. A damaged file is moved aside and replaced by what
    // this process last knew of it, or by an empty store when it knew nothing.
    void beginSession()
    {
        const QString path = resolveFileLinks(registryFilePath());
        std::optional<RegStore> lastKnown;
        if (m_baseKnown && path == m_path)
            lastKnown = m_base;
        m_path = path;
        m_journal.clear();
        m_ids.clear();
        m_store = RegStore();
        m_baseKnown = readSession(lastKnown);
        m_base = m_store;
        replayDeferred();
    }

    // Keys made in memory only are there again in the new session, unless
    // another writer changed the file meanwhile: then its keys count, as they
    // would for a process started now.
    void replayDeferred()
    {
        if (m_deferred.empty())
            return;
        if (m_path != m_deferredPath || !(m_store == m_deferredOn)) {
            m_deferred.clear();
            return;
        }
        for (const QStringList& path : m_deferred) {
            m_store.create(path);
            for (qsizetype i = 1; i <= path.size(); ++i)
                idOf(path.mid(0, i));
        }
    }

    enum class Reading { Read, Unreadable, Damaged };

    Reading readInto(RegStore& store, RegParseError& error) const
    {
        QByteArray bytes;
        switch (readWholeFile(m_path, bytes, RegistryFile::maxSize)) {
        case FileRead::Missing:
            return Reading::Read;
        case FileRead::Failed:
            return Reading::Unreadable;
        case FileRead::Ok:
            break;
        }
        return RegistryFile::parse(bytes, store, error) ? Reading::Read : Reading::Damaged;
    }

    // False when the file could not be read at all.
    bool readSession(const std::optional<RegStore>& lastKnown)
    {
        RegParseError error;
        Reading reading = readInto(m_store, error);
        if (reading == Reading::Damaged) {
            FileLock lock(m_path);
            // Another instance may have replaced it meanwhile: judge what is there now.
            reading = readInto(m_store, error);
            if (reading == Reading::Damaged && setAside(error, lastKnown) == SetAside::Restored)
                m_store = *lastKnown;
        }
        return reading != Reading::Unreadable;
    }

    enum class SetAside { NotMoved, Moved, Restored };

    // Renames the damaged file to ".bad" (keeping older ones), writes the
    // replacement in its place if there is one, and tells the user once.
    SetAside setAside(const RegParseError& error, const std::optional<RegStore>& replacement)
    {
        const QString target = asidePath(m_path);
        const QString file = QDir::toNativeSeparators(m_path);
        if (!renameFileDurably(m_path, target)) {
            if (!m_toldUnwritable) {
                m_toldUnwritable = true;
                m_notices.push_back([file, error] {
                    return QCoreApplication::translate("Registry", "Файл настроек «%1» повреждён (%2). Используются "
                                                                   "настройки по умолчанию; изменения не будут сохранены.")
                        .arg(file, error.message());
                });
            }
            return SetAside::NotMoved;
        }
        const bool restored = replacement && replaceFileAtomically(m_path, RegistryFile::serialize(*replacement));
        const char* text = restored
            ? QT_TRANSLATE_NOOP("Registry", "Файл настроек «%1» повреждён (%2) и сохранён как «%3». Программа "
                                            "записала на его место последние известные ей настройки.")
            : QT_TRANSLATE_NOOP("Registry", "Файл настроек «%1» повреждён (%2) и сохранён как «%3». Используются "
                                            "настройки по умолчанию.");
        m_notices.push_back([text, file, error, target] {
            return QCoreApplication::translate("Registry", text)
                .arg(file, error.message(), QDir::toNativeSeparators(target));
        });
        return restored ? SetAside::Restored : SetAside::Moved;
    }

    // Tells once for each settings file that changes cannot be saved, and why.
    LONG cannotSave(LONG code, const char* why, const QString& path, const QString& detail = {})
    {
        if (m_toldUnsavedFor != m_path) {
            m_toldUnsavedFor = m_path;
            m_saveNotices.push_back([why, path, detail] {
                QString reason = QCoreApplication::translate("Registry", why).arg(QDir::toNativeSeparators(path));
                if (!detail.isEmpty())
                    reason = reason.arg(detail);
                return QCoreApplication::translate("Registry", "Настройки не сохраняются: %1. Изменения "
                                                               "действуют до выхода из программы.")
                    .arg(reason);
            });
        }
        return code;
    }

    // Replays the pending changes on the file as it is now, under the lock, and
    // replaces the file in one step.
    LONG commit()
    {
        std::vector<Op> journal;
        journal.swap(m_journal);
        const QString dir = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(dir))
            return cannotSave(ERROR_ACCESS_DENIED, QT_TRANSLATE_NOOP("Registry", "папку «%1» не удаётся создать"),
                              dir);
        FileLock lock(m_path);
        if (!lock.locked())
            return cannotSave(ERROR_ACCESS_DENIED,
                              QT_TRANSLATE_NOOP("Registry", "в папке «%1» нельзя создавать файлы (%2)"), dir,
                              QString::fromLocal8Bit(std::strerror(errno)));

        QByteArray onDisk;
        RegStore fresh;
        switch (readWholeFile(m_path, onDisk, RegistryFile::maxSize)) {
        case FileRead::Missing:
            break;
        case FileRead::Failed:
            return QFileInfo(m_path).isDir()
                ? cannotSave(ERROR_ACCESS_DENIED, QT_TRANSLATE_NOOP("Registry", "на месте файла «%1» стоит папка"),
                             m_path)
                : cannotSave(ERROR_ACCESS_DENIED, QT_TRANSLATE_NOOP("Registry", "файл «%1» не читается (%2)"),
                             m_path, QString::fromLocal8Bit(std::strerror(errno)));
        case FileRead::Ok: {
            RegParseError error;
            if (RegistryFile::parse(onDisk, fresh, error))
                break;
            // Damaged since this session read it: build on what the session started from.
            const std::optional<RegStore> base = m_baseKnown ? std::optional(m_base) : std::nullopt;
            switch (setAside(error, base)) {
            case SetAside::NotMoved:
                return ERROR_ACCESS_DENIED; // never write over what could not be kept
            case SetAside::Moved:
                onDisk.clear();
                break;
            case SetAside::Restored:
                fresh = *base;
                onDisk = RegistryFile::serialize(fresh);
                break;
            }
            break;
        }
        }

        // Keys made in memory only go along with the first change that is written.
        for (const QStringList& path : m_deferred)
            fresh.create(path);
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
        if (bytes != onDisk && !replaceFileAtomically(m_path, bytes))
            return cannotSave(ERROR_WRITE_FAULT, QT_TRANSLATE_NOOP("Registry", "файл «%1» не удаётся записать (%2)"),
                              m_path, QString::fromLocal8Bit(std::strerror(errno)));

        // Keep the keys that survived under their ids, so open handles stay valid.
        std::map<QStringList, quint64> ids;
        for (const auto& [folded, key] : fresh.keys()) {
            auto it = m_ids.find(folded);
            ids[folded] = it != m_ids.end() ? it->second : ++m_nextId;
        }
        m_ids.swap(ids);
        m_store = std::move(fresh);
        m_base = m_store;
        m_baseKnown = true;
        m_deferred.clear();
        return ERROR_SUCCESS;
    }

    void deliver(const std::vector<Notice>& notices)
    {
        std::function<void(QString)> handler;
        {
            std::lock_guard lock(m_mutex);
            handler = m_noticeHandler;
        }
        for (const Notice& n : notices)
            if (handler)
                handler(n());
    }

    std::mutex m_mutex;
    QString m_path; // the file itself, links resolved
    RegStore m_store;
    RegStore m_base; // the file as last read or written by this process
    bool m_baseKnown = false;
    std::map<QStringList, quint64> m_ids; // per existing key, to tell a deleted-and-recreated key
    quint64 m_nextId = 0;
    std::map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_nextHandle = 0x1000;
    std::vector<Op> m_journal;
    // Keys made in memory only (RegCreateKeyDeferred), and the file as it was then.
    std::vector<QStringList> m_deferred;
    RegStore m_deferredOn;
    QString m_deferredPath;
    // Put into words when told, so that a notice held from before the
    // interface's language was chosen is said in that language.
    std::vector<Notice> m_notices;
    std::vector<Notice> m_heldNotices;
    std::function<void(QString)> m_noticeHandler;
    bool m_toldUnwritable = false;
    QString m_toldUnsavedFor; // the file last told to be unsavable
    std::vector<Notice> m_saveNotices;
    std::function<void(QString)> m_saveHandler;
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

void setSaveNoticeHandler(std::function<void(QString)> handler)
{
    engine().setSaveNoticeHandler(std::move(handler));
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
        const auto rel = splitKeyPath(subKey);
        if (!rel)
            return ERROR_INVALID_PARAMETER;
        const QStringList path = parent.path + *rel;
        if (!e.store().find(path))
            return ERROR_FILE_NOT_FOUND;
        *result = e.newHandle(path, samDesired);
        return ERROR_SUCCESS;
    });
}

namespace {

LONG createKey(HKEY hKey, const QString& subKey, REGSAM samDesired, PHKEY result, DWORD* disposition, bool deferred)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Engine& e = engine();
    return e.run([&]() -> LONG {
        Engine::Handle parent;
        if (const LONG r = e.resolve(hKey, parent))
            return r;
        const auto rel = splitKeyPath(subKey);
        if (!rel)
            return ERROR_INVALID_PARAMETER;
        const QStringList path = parent.path + *rel;
        bool created = false;
        if (!e.store().find(path)) {
            if (!(parent.access & KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            e.createKey(path, &created, deferred);
        }
        if (disposition)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *result = e.newHandle(path, samDesired);
        return ERROR_SUCCESS;
    });
}

} // namespace

LONG RegCreateKeyEx(HKEY hKey, const QString& subKey, DWORD, const char*, DWORD options, REGSAM samDesired,
                    const void*, PHKEY result, DWORD* disposition)
{
    if (options & REG_OPTION_VOLATILE) {
        if (result)
            *result = nullptr;
        return ERROR_INVALID_PARAMETER;
    }
    return createKey(hKey, subKey, samDesired, result, disposition, false);
}

LONG RegCreateKeyDeferred(HKEY hKey, const QString& subKey, REGSAM samDesired, PHKEY result, DWORD* disposition)
{
    return createKey(hKey, subKey, samDesired, result, disposition, true);
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
    if (!isValidValueName(valueName) || (!data && cbData))
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
        const auto rel = splitKeyPath(subKey);
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
