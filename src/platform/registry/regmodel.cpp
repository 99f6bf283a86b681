// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/regmodel.h"

namespace platform {

namespace {

constexpr int maxKeyNameLength = 255;
constexpr int maxValueNameLength = 16383;

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

} // namespace

bool isValidKeyName(const QString& name)
{
    if (name.isEmpty() || name.size() > maxKeyNameLength)
        return false;
    for (QChar c : name)
        if (isControl(c) || c == u'\\')
            return false;
    return true;
}

bool isValidValueName(const QString& name)
{
    if (name.size() > maxValueNameLength)
        return false;
    for (QChar c : name)
        if (isControl(c))
            return false;
    return true;
}

std::optional<QStringList> splitKeyPath(const QString& text)
{
    if (text.isEmpty())
        return QStringList{};
    const QStringList parts = text.split(u'\\');
    for (const QString& p : parts)
        if (!isValidKeyName(p))
            return std::nullopt;
    return parts;
}

bool isPathWithin(const QStringList& path, const QStringList& prefix)
{
    if (path.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i)
        if (path[i] != prefix[i])
            return false;
    return true;
}

RegStore::RegStore()
{
    const QString software = QLatin1String(regSoftwareName);
    m_keys[{}] = RegKey{};
    m_keys[fold({software})] = RegKey{{software}, {}};
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
    return path.isEmpty()
        || (path.size() == 1 && path[0].compare(QLatin1String(regSoftwareName), Qt::CaseInsensitive) == 0);
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
    while (it != m_keys.end() && isPathWithin(it->first, folded))
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

} // namespace platform
