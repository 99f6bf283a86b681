// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>
#include <memory>
#include <vector>

class QCoreApplication;
class QTranslator;

namespace tonvero {

// The user's choice in the options; stored by number.
enum class LanguageChoice { System = 0, Russian = 1, English = 2 };

// The stored choice (InterfaceSettings::nLanguage; System when missing or out of range).
LanguageChoice loadLanguageChoice();
bool saveLanguageChoice(LanguageChoice choice);

// Russian for Russian locales (the texts are written in it), English for every other.
QLocale::Language interfaceLanguage(LanguageChoice choice, const QLocale& system = QLocale::system());

// The interface's language for the whole run: our translation and Qt's own
// (standard buttons, file dialogs). A choice changed in the options applies
// at the next start.
class Translations {
public:
    Translations();
    ~Translations();
    // Removes what an earlier install put in; false when a translation was missing.
    bool install(QLocale::Language language);
    void remove();
    QLocale::Language language() const { return m_language; }

private:
    std::vector<std::unique_ptr<QTranslator>> m_translators;
    QLocale::Language m_language = QLocale::Russian;
};

// The language the interface was started in (Russian until Translations::install runs).
QLocale::Language currentInterfaceLanguage();

// The read-me of the interface's language: "ReadMe.txt" (Russian) or "ReadMe_en.txt".
QString readMeFileName(QLocale::Language language = currentInterfaceLanguage());

} // namespace tonvero
