// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language.h"
#include "app/tonverodlg.h"
#include "exercise/statstext.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dialogoptions.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>
#include <algorithm>

using namespace tonvero;

namespace {

// Every text a user sees or a screen reader speaks in a window and its children.
QStringList shownTexts(QWidget* top)
{
    QStringList texts{top->windowTitle()};
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        texts << w->toolTip() << w->accessibleName() << w->accessibleDescription();
        if (auto* l = qobject_cast<QLabel*>(w))
            texts << l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts << b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            texts << g->title();
        for (QAction* a : w->actions()) {
            texts << a->text() << a->toolTip();
            if (a->menu())
                for (QAction* sub : a->menu()->actions())
                    texts << sub->text();
        }
    }
    texts.removeAll(QString());
    return texts;
}

bool hasCyrillic(const QString& text)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return cyrillic.match(text).hasMatch();
}

// The English texts of the translation that differ from their Russian source.
QStringList englishTranslations()
{
    QFile ts(testsupport::sourceDir() + QStringLiteral("/translations/tonvero_en.ts"));
    if (!ts.open(QIODevice::ReadOnly))
        return {};
    QStringList english;
    QXmlStreamReader xml(&ts);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") || xml.name() == QLatin1String("numerusform")) {
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (!text.isEmpty() && text != source)
                english << text;
        }
    }
    return english;
}

} // namespace

class TestLanguage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    Translations m_translations;

    // The main window, its options and the about box as a user opens them.
    QStringList textsOfTheInterface()
    {
        platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
        CTonveroDlg dlg;
        dlg.show();
        dlg.OpenOptions();
        QStringList texts = shownTexts(&dlg);
        texts << shownTexts(dlg.pOptions);
        dlg.StartStop(false);
        texts << dlg.startButton()->text() << dlg.strNoteName;
        dlg.StartStop(false);
        CAboutDlg about(&dlg);
        texts << shownTexts(&about);
        texts << statstext::examSummaryText(QStringLiteral("02:00"), 12, QStringLiteral("1 (8.3%)"));
        platform::setMessageBoxHook({});
        return texts;
    }

private slots:
    void init() { m_home = std::make_unique<testsupport::TempConfigHome>(); }
    void cleanup()
    {
        m_translations.remove();
        m_home.reset();
    }

    void languageOfTheInterface_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("system");
        QTest::addColumn<int>("language");
        QTest::newRow("system, Russian desktop") << int(LanguageChoice::System) << "ru_RU" << int(QLocale::Russian);
        QTest::newRow("system, English desktop") << int(LanguageChoice::System) << "en_US" << int(QLocale::English);
        QTest::newRow("system, German desktop: English") << int(LanguageChoice::System) << "de_DE" << int(QLocale::English);
        QTest::newRow("system, Ukrainian desktop: English") << int(LanguageChoice::System) << "uk_UA" << int(QLocale::English);
        QTest::newRow("Russian chosen on an English desktop") << int(LanguageChoice::Russian) << "en_US" << int(QLocale::Russian);
        QTest::newRow("English chosen on a Russian desktop") << int(LanguageChoice::English) << "ru_RU" << int(QLocale::English);
    }
    void languageOfTheInterface()
    {
        QFETCH(int, choice);
        QFETCH(QString, system);
        QFETCH(int, language);
        QCOMPARE(int(interfaceLanguage(LanguageChoice(choice), QLocale(system))), language);
    }

    void choiceIsStored()
    {
        QCOMPARE(loadLanguageChoice(), LanguageChoice::System);
        QVERIFY(saveLanguageChoice(LanguageChoice::English));
        QCOMPARE(loadLanguageChoice(), LanguageChoice::English);
        QVERIFY(saveLanguageChoice(LanguageChoice::Russian));
        QCOMPARE(loadLanguageChoice(), LanguageChoice::Russian);
    }

    void englishLeavesNoRussianText()
    {
        QVERIFY(m_translations.install(QLocale::English));
        const QStringList texts = textsOfTheInterface();
        QVERIFY(texts.size() > 40);
        QStringList russian;
        for (const QString& t : texts)
            if (hasCyrillic(t))
                russian << t;
        QVERIFY2(russian.isEmpty(), qPrintable(russian.join(QStringLiteral(" | "))));
        QVERIFY(texts.contains(QStringLiteral("Start")));
        QCOMPARE(readMeFileName(), QStringLiteral("ReadMe_en.txt"));
    }

    void russianLeavesNoEnglishText()
    {
        QVERIFY(m_translations.install(QLocale::Russian));
        const QStringList english = englishTranslations();
        QVERIFY(english.size() > 40);
        QStringList left;
        for (const QString& t : textsOfTheInterface())
            if (english.contains(t))
                left << t;
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QStringLiteral(" | "))));
        QCOMPARE(readMeFileName(), QStringLiteral("ReadMe.txt"));
    }

    // Qt's own texts follow: the standard buttons of a message box.
    void standardButtonsFollowTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("Russian") << int(QLocale::Russian) << "Отмена";
        QTest::newRow("English") << int(QLocale::English) << "Cancel";
    }
    void standardButtonsFollowTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QString, cancel);
        m_translations.install(QLocale::Language(language));
        QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), cancel);
    }

    // The file dialog of the export is Qt's own: its labels follow the language too.
    void fileDialogFollowsTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("cyrillic");
        QTest::newRow("Russian") << int(QLocale::Russian) << true;
        QTest::newRow("English") << int(QLocale::English) << false;
    }
    void fileDialogFollowsTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(bool, cyrillic);
        m_translations.install(QLocale::Language(language));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        const auto* label = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
        QVERIFY(label);
        const QString text = label->text();
        const bool hasCyrillic = std::any_of(text.begin(), text.end(),
                                             [](QChar c) { return c.unicode() >= 0x400 && c.unicode() <= 0x4ff; });
        QVERIFY2(hasCyrillic == cyrillic, qPrintable(text));
    }

    void noteNamesFollowTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("Russian") << int(QLocale::Russian) << QStringList{"До", "До #", "Ре", "Си"};
        QTest::newRow("English") << int(QLocale::English) << QStringList{"C", "C#", "D", "B"};
    }
    void noteNamesFollowTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QStringList, names);
        m_translations.install(QLocale::Language(language));
        CTonveroDlg dlg;
        QCOMPARE(QStringList({dlg.SharpName(0), dlg.SharpName(1), dlg.SharpName(2), dlg.SharpName(11)}), names);
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
