// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language.h"

#include "settings/interfacesettings.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tonvero {

namespace {

QLocale::Language started = QLocale::Russian;

} // namespace

LanguageChoice loadLanguageChoice()
{
    InterfaceSettings settings;
    settings.load();
    return LanguageChoice(settings.nLanguage);
}

bool saveLanguageChoice(LanguageChoice choice)
{
    InterfaceSettings settings;
    settings.load();
    settings.nLanguage = int(choice);
    return settings.save();
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
