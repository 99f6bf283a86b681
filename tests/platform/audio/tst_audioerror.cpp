// SPDX-License-Identifier: GPL-3.0-or-later
// What the user is told when the microphone cannot be heard: each error the
// sound server gives sorted by what the user can do, in plain words of the
// interface's language, the server's own words never alone.
#include "app/language.h"
#include "platform/audio/audioerror.h"

#include <QTest>

#include <pulse/def.h>

using platform::AudioError;
using Cause = platform::AudioError::Cause;

Q_DECLARE_METATYPE(platform::AudioError::Cause)

class TestAudioError : public QObject {
    Q_OBJECT

private slots:
    void pulseCodesByCause_data();
    void pulseCodesByCause();
    void plainWordsForEachCause_data();
    void plainWordsForEachCause();
    void serverWordsFollowOnlyTheGenericSentence();
};

void TestAudioError::pulseCodesByCause_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Cause>("cause");
    QTest::newRow("connection refused: no server") << int(PA_ERR_CONNECTIONREFUSED) << Cause::NoSoundServer;
    QTest::newRow("invalid server") << int(PA_ERR_INVALIDSERVER) << Cause::NoSoundServer;
    QTest::newRow("server went away") << int(PA_ERR_CONNECTIONTERMINATED) << Cause::NoSoundServer;
    QTest::newRow("server does not answer") << int(PA_ERR_TIMEOUT) << Cause::NoSoundServer;
    QTest::newRow("no such source") << int(PA_ERR_NOENTITY) << Cause::NoInput;
    QTest::newRow("source removed while recording") << int(PA_ERR_KILLED) << Cause::NoInput;
    QTest::newRow("access denied") << int(PA_ERR_ACCESS) << Cause::NoPermission;
    QTest::newRow("no authentication key") << int(PA_ERR_AUTHKEY) << Cause::NoPermission;
    QTest::newRow("invalid argument") << int(PA_ERR_INVALID) << Cause::Other;
    QTest::newRow("busy") << int(PA_ERR_BUSY) << Cause::Other;
    QTest::newRow("a code newer than this program") << int(PA_ERR_MAX) + 5 << Cause::Other;
    QTest::newRow("a negative code") << -1 << Cause::Other;
}

void TestAudioError::pulseCodesByCause()
{
    QFETCH(int, code);
    QFETCH(Cause, cause);
    QCOMPARE(AudioError::pulseCause(code), cause);
    const AudioError error = AudioError::fromPulse(code, QStringLiteral("server words"));
    QCOMPARE(error.cause, cause);
    QCOMPARE(error.detail, QStringLiteral("server words"));
    // A failure reported with the success code is still a failure.
    QCOMPARE(AudioError::fromPulse(PA_OK, {}).cause, Cause::Other);
}

void TestAudioError::plainWordsForEachCause_data()
{
    QTest::addColumn<Cause>("cause");
    QTest::addColumn<QString>("russian");  // what is missing
    QTest::addColumn<QString>("remedyRu"); // what to do
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("remedyEn");
    QTest::newRow("no sound library") << Cause::NoSoundLibrary << QStringLiteral("библиотека звукового сервера")
                                      << QStringLiteral("libpulse0") << QStringLiteral("client library") << QStringLiteral("libpulse0");
    QTest::newRow("no sound server") << Cause::NoSoundServer << QStringLiteral("PulseAudio или PipeWire") << QStringLiteral("Запустите")
                                     << QStringLiteral("PulseAudio or PipeWire") << QStringLiteral("Start it");
    QTest::newRow("no input device") << Cause::NoInput << QStringLiteral("устройство ввода") << QStringLiteral("Подключите микрофон")
                                     << QStringLiteral("input device") << QStringLiteral("Connect a microphone");
    QTest::newRow("no permission") << Cause::NoPermission << QStringLiteral("Нет доступа") << QStringLiteral("Разрешите доступ")
                                   << QStringLiteral("No access") << QStringLiteral("Allow access");
    QTest::newRow("no note detector") << Cause::NoDetector << QStringLiteral("aubio") << QStringLiteral("libaubio5") << QStringLiteral("aubio") << QStringLiteral("libaubio5");
    QTest::newRow("anything else") << Cause::Other << QStringLiteral("не удалось открыть") << QStringLiteral("Проверьте")
                                   << QStringLiteral("could not be opened") << QStringLiteral("Check");
}

void TestAudioError::plainWordsForEachCause()
{
    QFETCH(Cause, cause);
    QFETCH(QString, russian);
    QFETCH(QString, remedyRu);
    QFETCH(QString, english);
    QFETCH(QString, remedyEn);
    const AudioError error{cause, QStringLiteral("Connection refused")};
    tonvero::Translations translations;
    QVERIFY(translations.install(QLocale::English));
    const QString en = error.text();
    translations.remove();
    const QString ru = error.text();
    QVERIFY2(ru.contains(russian) && ru.contains(remedyRu), qPrintable(ru));
    QVERIFY2(en.contains(english) && en.contains(remedyEn), qPrintable(en));
    QVERIFY2(en != ru, qPrintable(en));
    // Cyrillic stays out of the English text, so nothing of it is left untranslated.
    for (const QChar c : en)
        QVERIFY2(c.script() != QChar::Script_Cyrillic, qPrintable(en));
    // Only the generic sentence has the server's words after it.
    QCOMPARE(ru.contains(error.detail), cause == Cause::Other);
    QVERIFY(AudioError{}.text().isEmpty());
}

void TestAudioError::serverWordsFollowOnlyTheGenericSentence()
{
    const AudioError withWords{Cause::Other, QStringLiteral("Invalid argument")};
    const AudioError withoutWords{Cause::Other, {}};
    QVERIFY(withWords.text().startsWith(withoutWords.text()));
    QVERIFY(withWords.text().size() > withoutWords.text().size() + withWords.detail.size());
    QVERIFY(!withoutWords.text().contains(QStringLiteral("%")));
}

QTEST_GUILESS_MAIN(TestAudioError)
#include "tst_audioerror.moc"
