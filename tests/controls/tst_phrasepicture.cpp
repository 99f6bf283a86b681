// SPDX-License-Identifier: GPL-3.0-or-later
// Lines of music as the stave draws them, against committed pictures at 1×
// and (in a child process on a 2× screen) at 2×. With TONVERO_UPDATE_PICTURES=1
// the pictures drawn now replace the committed ones.
#include "controls/stavectrl.h"
#include "pictures/comparison.h"
#include "support/phraselines.h"
#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

Q_DECLARE_METATYPE(tonvero::music::Phrase)

namespace {

QString referencePath(const QString& name, qreal ratio)
{
    const QString file = ratio > 1 ? name + QStringLiteral("@2x.png") : name + QStringLiteral(".png");
    return testsupport::sourceDir() + QStringLiteral("/tests/controls/phrasepictures/") + file;
}

} // namespace

class TestPhrasePicture : public QObject {
    Q_OBJECT
private slots:
    void referencePictures_data();
    void referencePictures();
    void referencePicturesAt2x();
};

void TestPhrasePicture::referencePictures_data()
{
    QTest::addColumn<tonvero::music::Phrase>("phrase");
    QTest::addColumn<int>("clef");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<bool>("playedVisible");
    QTest::addColumn<bool>("names");
    QTest::addColumn<bool>("shapeMarks");

    using namespace phraselines;
    QTest::newRow("g-major-3-4-treble") << gMajorTreble() << int(CStaveCtrl::Treble) << QSize(560, 140) << 3
                                        << false << false << false;
    QTest::newRow("b-flat-major-4-4-grand-chords")
        << bFlatMajorGrandChords() << int(CStaveCtrl::TrebleBass) << QSize(600, 240) << 0 << true << false << false;
    QTest::newRow("e-minor-6-8-bass") << eMinorBass() << int(CStaveCtrl::Bass) << QSize(480, 140) << 1 << true
                                      << false << true;
    QTest::newRow("alto-ledger-lines-accidentals")
        << altoLedgerLines() << int(CStaveCtrl::Alto) << QSize(480, 170) << 2 << true << true << false;
}

void TestPhrasePicture::referencePictures()
{
    QFETCH(tonvero::music::Phrase, phrase);
    QFETCH(int, clef);
    QFETCH(QSize, size);
    QFETCH(int, cursor);
    QFETCH(bool, playedVisible);
    QFETCH(bool, names);
    QFETCH(bool, shapeMarks);

    const StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    CStaveCtrl::nClef = clef;
    CInstrumentCtrl::SetShapeMarks(shapeMarks);
    CStaveCtrl stave;
    stave.initialize(layout.data());
    stave.resize(size);
    stave.SetPlayedNotesVisible(playedVisible);
    stave.SetPhraseNames(names);
    stave.ShowPhrase(phrase);
    stave.SetPhraseCursor(cursor);
    CInstrumentCtrl::SetShapeMarks(false);

    const QImage& made = stave.picture();
    const qreal ratio = stave.devicePixelRatioF() > 1 ? 2 : 1;
    QCOMPARE(made.size(), size * ratio);
    const QString path = referencePath(QString::fromLatin1(QTest::currentDataTag()), ratio);
    if (qEnvironmentVariable("TONVERO_UPDATE_PICTURES") == QLatin1String("1")) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY2(made.save(path), qPrintable(path));
        QSKIP("picture written");
    }
    const QImage committed(path);
    QVERIFY2(!committed.isNull(), qPrintable(QStringLiteral("missing %1 (TONVERO_UPDATE_PICTURES=1 writes it)").arg(path)));
    const pictures::Tolerance tolerance;
    const pictures::PictureDifference d = pictures::comparePictures(made, committed, tolerance);
    if (!d.withinTolerance(tolerance)) {
        const QString diff = QDir(QCoreApplication::applicationDirPath())
                                 .filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".diff.png"));
        pictures::differencePicture(made, committed, tolerance).save(diff);
        QFAIL(qPrintable(QStringLiteral("%1 pixels of %2 differ (%3 allowed, largest change %4 levels); see %5")
                             .arg(d.differing)
                             .arg(d.pixels)
                             .arg(d.allowed)
                             .arg(d.largest)
                             .arg(diff)));
    }
}

// The same lines on a 2× screen: the picture at full resolution, not scaled up.
void TestPhrasePicture::referencePicturesAt2x()
{
    if (!qEnvironmentVariableIsEmpty("TONVERO_HIDPI_CHILD"))
        QSKIP("the child runs referencePictures");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    env.insert("TONVERO_HIDPI_CHILD", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"referencePictures"});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());
}

QTEST_MAIN(TestPhrasePicture)
#include "tst_phrasepicture.moc"
