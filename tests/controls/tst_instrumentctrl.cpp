// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/instrumentctrl.h"

#include <QTest>
#include <memory>

namespace {

// Writes every event it receives, tagged with its name, into a shared log.
class Recorder : public CInstrumentCtrlListener {
public:
    Recorder(QString tag, QStringList* log) : m_tag(std::move(tag)), m_log(log) {}
    void OnNoteOn(int note, bool fromMidi) override { add(QStringLiteral("on %1 %2").arg(note).arg(fromMidi)); }
    void OnNoteOff(int note) override { add(QStringLiteral("off %1").arg(note)); }
    void OnRangeChanged(const NoteRange* r) override { add(QStringLiteral("range %1-%2").arg(r[0].low).arg(r[1].high)); }
    void OnCtrlMoved(int id, const QPoint* p) override { add(QStringLiteral("moved %1 %2,%3").arg(id).arg(p->x()).arg(p->y())); }
    void OnRedrawRequest() override { add(QStringLiteral("redraw")); }

private:
    void add(const QString& event) { m_log->append(m_tag + ':' + event); }
    QString m_tag;
    QStringList* m_log;
};

void raiseAll(CInstrumentCtrl& ctrl)
{
    const NoteRange ranges[2] = {{3, 40, 0, 0}, {5, 60, 0, 0}};
    ctrl.NotifyNoteOn(60);
    ctrl.NotifyNoteOff(61);
    ctrl.NotifyRangeChanged(ranges);
    ctrl.NotifyCtrlMoved(2, QPoint(7, 8));
    ctrl.NotifyRedrawRequest();
}

} // namespace

class TestInstrumentCtrl : public QObject {
    Q_OBJECT
private slots:
    void getKeyIndex_data();
    void getKeyIndex();
    void listenersInOrderWithDuplicates();
    void moveToReportsBottomLeft();
    void sharedWindowClass();
};

void TestInstrumentCtrl::getKeyIndex_data()
{
    QTest::addColumn<int>("note");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("keyIndex");
    QTest::newRow("below A0") << 20 << false << -1;
    QTest::newRow("A0") << 21 << true << 0;
    QTest::newRow("middle C") << 60 << true << 39;
    QTest::newRow("C8") << 108 << true << 87;
    QTest::newRow("above C8") << 109 << false << 88;
}

void TestInstrumentCtrl::getKeyIndex()
{
    QFETCH(int, note);
    QFETCH(bool, valid);
    QFETCH(int, keyIndex);
    int out = 12345;
    QCOMPARE(CInstrumentCtrl::GetKeyIndex(note, out), valid);
    QCOMPARE(out, keyIndex); // written in both cases
    QCOMPARE(CInstrumentCtrl::NoteFromKeyIndex(CInstrumentCtrl::KeyIndexFromNote(note)), note);
}

void TestInstrumentCtrl::listenersInOrderWithDuplicates()
{
    CInstrumentCtrl ctrl(CInstrumentCtrl::GuitarId, "GuitarCtrl");
    QStringList log;
    raiseAll(ctrl); // nobody attached: nothing happens

    Recorder a("a", &log), b("b", &log);
    ctrl.AddListener(&a);
    ctrl.AddListener(&b);
    ctrl.AddListener(&a);
    raiseAll(ctrl);
    QStringList expected;
    for (const char* event : {"on 60 0", "off 61", "range 3-60", "moved 2 7,8", "redraw"})
        for (const char* tag : {"a:", "b:", "a:"})
            expected << QLatin1String(tag) + QLatin1String(event);
    QCOMPARE(log, expected);

    log.clear();
    ctrl.RemoveListener(&a); // removes both entries
    QCOMPARE(ctrl.ListenerCount(), 1);
    ctrl.NotifyNoteOn(21);
    QCOMPARE(log, QStringList{"b:on 21 0"});

    log.clear();
    ctrl.RemoveListener(&b);
    raiseAll(ctrl);
    QVERIFY(log.isEmpty());
}

void TestInstrumentCtrl::moveToReportsBottomLeft()
{
    QWidget parent;
    parent.resize(800, 600);
    CInstrumentCtrl ctrl(CInstrumentCtrl::GuitarId, "GuitarCtrl", &parent);
    QStringList log;
    Recorder r("r", &log);
    ctrl.AddListener(&r);

    ctrl.MoveTo(1, 10, 20, 85, 624); // height before width
    QCOMPARE(ctrl.geometry(), QRect(10, 20, 624, 85));
    QCOMPARE(ctrl.GetPosition(), QPoint(10, 20));
    QCOMPARE(ctrl.GetWidth(), 624);
    QCOMPARE(ctrl.GetHeight(), 85);
    QCOMPARE(log, QStringList{"r:moved 1 10,105"});

    // Resizing to the current size only repeats the report (the owner places captions with it).
    ctrl.Resize(1, ctrl.GetHeight(), ctrl.GetWidth());
    QCOMPARE(ctrl.geometry(), QRect(10, 20, 624, 85));
    QCOMPARE(log, (QStringList{"r:moved 1 10,105", "r:moved 1 10,105"}));
}

void TestInstrumentCtrl::sharedWindowClass()
{
    CInstrumentCtrl::ControlsReady = true;
    CInstrumentCtrl guitar(CInstrumentCtrl::GuitarId, "GuitarCtrl");
    QVERIFY(!CInstrumentCtrl::ControlsReady);
    // The bass shares the guitar's class, already registered.
    std::unique_ptr<CInstrumentCtrl> bass;
    try {
        bass = std::make_unique<CInstrumentCtrl>(CInstrumentCtrl::BassId, "GuitarCtrl");
    } catch (const std::exception& e) {
        QFAIL(e.what());
    }
    QCOMPARE(QString::fromLatin1(CInstrumentCtrl::ClassName(CInstrumentCtrl::BassId)), QStringLiteral("GuitarCtrl"));
    QCOMPARE(bass->ControlId(), int(CInstrumentCtrl::BassId));
}

QTEST_MAIN(TestInstrumentCtrl)
#include "tst_instrumentctrl.moc"
