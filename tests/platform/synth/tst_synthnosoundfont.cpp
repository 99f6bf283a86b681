// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in synthesizer with no soundfont it can use: none where it looks
// (TONVERO_SOUNDFONTS decides where), or only a damaged one. It says so once,
// in the interface's language and with the packages to install, while the
// state lasts, and takes it back when a soundfont works.
#include "app/language.h"
#include "platform/mmsystem/midi_backend.h"
#include "platform/mmsystem/mmsystem.h"
#include "platform/synth/midi_synth.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

namespace {

struct Said {
    std::string key;
    std::string text; // empty: withdrawn
};

} // namespace

class TestSynthNoSoundFont : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::mutex m_mutex;
    std::vector<Said> m_lasting;
    tonvero::Translations m_translations;

    std::vector<Said> lasting()
    {
        std::lock_guard lock(m_mutex);
        return m_lasting;
    }
    void lookIn(const QString& paths)
    {
        qputenv("TONVERO_SOUNDFONTS", QFile::encodeName(paths));
        mmsys::refreshDevices();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_translations.install(QLocale::English));
        mmsys::setNoticeHandler([](const std::string&) {}); // no audio here is no concern of this test
        mmsys::setLastingNoticeHandler([this](const std::string& key, const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_lasting.push_back({key, text});
        });
        mmsys::setBackendsForTest({mmsys::Backend::Synth});
    }
    void cleanupTestCase()
    {
        mmsys::resetBackends();
        mmsys::resetNoticeHandler();
        qunsetenv("TONVERO_SOUNDFONTS");
    }

    void searchPathsComeFromTheEnvironment_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("two") << QStringLiteral("/a/one.sf2:/b/two.sf2") << QStringList{"/a/one.sf2", "/b/two.sf2"};
        QTest::newRow("empty parts skipped") << QStringLiteral(":/a/one.sf2::") << QStringList{"/a/one.sf2"};
        QTest::newRow("set but empty: none") << QString() << QStringList{};
    }
    void searchPathsComeFromTheEnvironment()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, paths);
        qputenv("TONVERO_SOUNDFONTS", QFile::encodeName(value));
        QStringList got;
        for (const std::string& p : mmsys::synth::soundFontCandidates())
            got << QString::fromStdString(p);
        QCOMPARE(got, paths);
        qunsetenv("TONVERO_SOUNDFONTS");
        QVERIFY(!mmsys::synth::soundFontCandidates().empty()); // the system's list again
    }

    // One test, in order: the shared synthesizer keeps what it loaded for the process.
    void saidOnceWhileNoneWorksAndTakenBackWhenOneDoes()
    {
        // None installed: the synthesizer is not offered, and that is said.
        lookIn(m_dir.filePath("missing.sf2"));
        QCOMPARE(mmsys::midiOutGetNumDevs(), 0u);
        QTRY_COMPARE(lasting().size(), std::size_t(1));
        const Said said = lasting().front();
        QCOMPARE(QString::fromStdString(said.key), QString("no-soundfont"));
        const QString text = QString::fromStdString(said.text);
        QVERIFY2(text.startsWith("There will be no sound"), qPrintable(text)); // translated
        QVERIFY2(text.contains("fluid-soundfont-gm") && text.contains("timgm6mb-soundfont"), qPrintable(text));
        lookIn(m_dir.filePath("missing.sf2"));
        QCOMPARE(lasting().size(), std::size_t(1)); // not again while it lasts

        // Only a damaged one: offered, its load fails, and nothing more is said.
        QFile damaged(m_dir.filePath("damaged.sf2"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray("RIFF\x10\0\0\0sfbkLIST", 16) + QByteArray(64, '\x7f'));
        damaged.close();
        lookIn(damaged.fileName());
        QCOMPARE(mmsys::midiOutGetNumDevs(), 1u);
        QVERIFY(!mmsys::synth::sharedEngine().waitLoaded(30000));
        mmsys::HMIDIOUT out = nullptr;
        QCOMPARE(mmsys::midiOutOpen(&out, 0, nullptr, 0, mmsys::CALLBACK_NULL), mmsys::MMSYSERR_NOERROR);
        QCOMPARE(mmsys::midiOutShortMsg(out, 0x007F3C90), mmsys::MMSYSERR_NOERROR);
        QVERIFY(mmsys::synth::sharedEngine().waitIdle(30000));
        QCOMPARE(mmsys::midiOutClose(out), mmsys::MMSYSERR_NOERROR);
        QVERIFY(mmsys::synth::sharedEngine().waitIdle(30000));
        QCOMPARE(lasting().size(), std::size_t(1));

        // A good one after the damaged one: it loads, and the notice is taken back.
        qunsetenv("TONVERO_SOUNDFONTS");
        const std::string good = mmsys::synth::findSoundFont();
        if (good.empty())
            QSKIP("no General MIDI soundfont installed to end the silence with");
        lookIn(damaged.fileName() + ':' + QString::fromStdString(good));
        QVERIFY(mmsys::synth::sharedEngine().waitLoaded(30000));
        QTRY_COMPARE(lasting().size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(lasting().back().key), QString("no-soundfont"));
        QVERIFY(lasting().back().text.empty());
        // The file gone later: the one loaded still plays, so nothing is said.
        lookIn(m_dir.filePath("missing.sf2"));
        QCOMPARE(lasting().size(), std::size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestSynthNoSoundFont)
#include "tst_synthnosoundfont.moc"
