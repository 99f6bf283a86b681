// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language.h"

#include "platform/registry.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tonvero {

namespace {

QLocale::Language started = QLocale::Russian;
constexpr char kInterfaceKey[] = "Software\\Tonvero\\Interface";
constexpr char kLanguageValue[] = "nLanguage";

} // namespace

LanguageChoice loadLanguageChoice()
{
    using namespace platform;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QString::fromLatin1(kInterfaceKey), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return LanguageChoice::System;
    DWORD value = 0, type = 0, size = sizeof value;
    const LONG rc = RegQueryValueEx(key, QString::fromLatin1(kLanguageValue), nullptr, &type,
                                    reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value > DWORD(LanguageChoice::English))
        return LanguageChoice::System;
    return LanguageChoice(value);
}

bool saveLanguageChoice(LanguageChoice choice)
{
    using namespace platform;
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, QString::fromLatin1(kInterfaceKey), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                       &key, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD value = DWORD(choice);
    const LONG rc = RegSetValueEx(key, QString::fromLatin1(kLanguageValue), 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&value), sizeof value);
    return RegCloseKey(key) == ERROR_SUCCESS && rc == ERROR_SUCCESS;
}

QLocale::Language interfaceLanguage(LanguageChoice choice, const QLocale& system)
{
    switch (choice) {
    case LanguageChoice::Russian: return QLocale::Russian;
    case LanguageChoice::English: return QLocale::English;
    case LanguageChoice::System: break;
    }
    return system.language() == QLocale::Russian ? QLocale::Russian : QLocale::English;
}

Translations::Translations() = default;

Translations::~Translations()
{
    remove();
}

bool Translations::install(QLocale::Language language)
{
    remove();
    m_language = language;
    started = language;
    const QLocale locale(language);
    QLocale::setDefault(locale);
    bool complete = true;
    auto add = [&](const QString& name, const QString& dir) {
        auto t = std::make_unique<QTranslator>();
        if (!t->load(locale, name, QStringLiteral("_"), dir)) {
            complete = false;
            return;
        }
        QCoreApplication::installTranslator(t.get());
        m_translators.push_back(std::move(t));
    };
    // Russian texts are the source: only their plural forms come from a file.
    add(QStringLiteral("tonvero"), QStringLiteral(":/i18n"));
    // Qt's own texts (the buttons of message boxes, the file dialog) from Debian's qt6-translations-l10n.
    if (language != QLocale::English)
        add(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return complete;
}

void Translations::remove()
{
    for (auto& t : m_translators)
        QCoreApplication::removeTranslator(t.get());
    m_translators.clear();
}

QLocale::Language currentInterfaceLanguage()
{
    return started;
}

QString readMeFileName(QLocale::Language language)
{
    return language == QLocale::Russian ? QStringLiteral("ReadMe.txt") : QStringLiteral("ReadMe_en.txt");
}

} // namespace tonvero
