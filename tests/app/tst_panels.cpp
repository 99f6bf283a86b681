// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace tonvero;

class TestPanels : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;

    CTonveroDlg& shown()
    {
        m_dlg = std::make_unique<CTonveroDlg>();
        // No sound: a machine without audio would say so in a notice row that moves the panels.
        m_dlg->preferences().bMIDI_Out = 0;
        m_dlg->show();
        if (!QTest::qWaitForWindowExposed(m_dlg.get()))
            qWarning("window not exposed");
        return *m_dlg;
    }

    static void setBoxes(CTonveroDlg& d, bool p, bool g, bool b)
    {
        d.pianoBox->setChecked(p);
        d.guitarBox->setChecked(g);
        d.bassBox->setChecked(b);
    }

    // Presses, moves with the button held and releases, as a user's drag.
    static void drag(QWidget* w, Qt::MouseButton button, const QPoint& from, const QPoint& delta)
    {
        QTest::mousePress(w, button, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + delta), w->mapToGlobal(QPointF(from + delta)), Qt::NoButton,
                         button, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
        QTest::mouseRelease(w, button, {}, from); // the window moved along, so the cursor is at the press point again
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        platform::setMessageBoxHook([](const platform::MessageBoxCall& call) {
            qWarning("message box: %s", qPrintable(call.text));
        });
    }
    void cleanup()
    {
        m_dlg.reset();
        m_home.reset();
        platform::setMessageBoxHook({});
    }

    void noteBounds_data()
    {
        QTest::addColumn<bool>("pianoOn");
        QTest::addColumn<bool>("guitarOn");
        QTest::addColumn<bool>("bassOn");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("piano") << true << false << false << 0 << 87;
        QTest::newRow("piano+guitar+bass") << true << true << true << 0 << 87;
        QTest::newRow("guitar") << false << true << false << 31 << 79;
        QTest::newRow("bass") << false << false << true << 19 << 58;
        QTest::newRow("guitar+bass") << false << true << true << 19 << 79;
    }
    void noteBounds()
    {
        QFETCH(bool, pianoOn);
        QFETCH(bool, guitarOn);
        QFETCH(bool, bassOn);
        QFETCH(int, low);
        QFETCH(int, high);
        CTonveroDlg& d = shown();
        setBoxes(d, pianoOn, guitarOn, bassOn);
        d.UpdateNoteBounds();
        QCOMPARE(d.piano->GetBoundsLow(), low);
        QCOMPARE(d.piano->GetBoundsHigh(), high);
        // The ranges shown on the stave lie within the bounds.
        for (int slot = 0; slot < 4; ++slot) {
            QVERIFY(d.stave->NoteSlot(slot) >= low);
            QVERIFY(d.stave->NoteSlot(slot) <= high);
        }
    }

    void lastBoxCannotBeCleared_data()
    {
        QTest::addColumn<int>("only");
        QTest::addColumn<int>("other");
        QTest::newRow("piano, then guitar") << int(IdcPianoBox) << int(IdcGuitarBox);
        QTest::newRow("guitar, then bass") << int(IdcGuitarBox) << int(IdcBassBox);
        QTest::newRow("bass, then piano") << int(IdcBassBox) << int(IdcPianoBox);
    }
    void lastBoxCannotBeCleared()
    {
        QFETCH(int, only);
        QFETCH(int, other);
        CTonveroDlg& d = shown();
        setBoxes(d, only == IdcPianoBox, only == IdcGuitarBox, only == IdcBassBox);
        auto* last = d.itemAs<QCheckBox>(only);
        auto* next = d.itemAs<QCheckBox>(other);
        int* members[] = {&d.preferences().bPianoKeys, &d.preferences().bGuitar6, &d.preferences().bGuitar4};

        last->click();
        QVERIFY(last->isChecked());
        QVERIFY(!last->isEnabled());
        QCOMPARE(*members[only - IdcPianoBox], 1);

        next->click();
        QVERIFY(next->isChecked());
        QVERIFY(last->isEnabled());
        QVERIFY(next->isEnabled());
        QCOMPARE(*members[other - IdcPianoBox], 1);

        // Now the first one can be cleared.
        last->click();
        QVERIFY(!last->isChecked());
        QCOMPARE(*members[only - IdcPianoBox], 0);
    }

    void layoutStacksCentred_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("pianoOn");
        QTest::addColumn<bool>("guitarOn");
        QTest::addColumn<bool>("bassOn");
        QTest::newRow("idle, piano only: all shown") << false << true << false << false;
        QTest::newRow("running, all") << true << true << true << true;
        QTest::newRow("running, guitar only") << true << false << true << false;
        QTest::newRow("running, piano and bass") << true << true << false << true;
    }
    void layoutStacksCentred()
    {
        QFETCH(bool, running);
        QFETCH(bool, pianoOn);
        QFETCH(bool, guitarOn);
        QFETCH(bool, bassOn);
        CTonveroDlg& d = shown();
        setBoxes(d, pianoOn, guitarOn, bassOn);
        if (running)
            d.StartStop(false);
        else
            d.UpdateLayout();
        QCOMPARE(d.exercise().bRunning, running);

        QWidget* area = d.client();
        struct Panel {
            CInstrumentCtrl* ctrl;
            QCheckBox* box;
            bool on;
        };
        const Panel panels[] = {{d.piano.get(), d.pianoBox, pianoOn || !running},
                                {d.guitar.get(), d.guitarBox, guitarOn || !running},
                                {d.bass.get(), d.bassBox, bassOn || !running}};
        QPushButton* button = d.startButton();
        int total = d.stave->height();
        for (const Panel& p : panels)
            if (p.on)
                total += p.ctrl->height() + p.box->height() + 8;
        const int reducedBottom = area->height() - button->height() - 12;

        int y = (reducedBottom - total) / 2;
        QCOMPARE(d.stave->pos(), QPoint((area->width() - d.stave->width()) / 2, y));
        y += d.stave->height() + 8;
        for (const Panel& p : panels) {
            QCOMPARE(p.ctrl->isVisible(), p.on);
            QCOMPARE(p.box->isVisible(), !running);
            if (!p.on)
                continue;
            QCOMPARE(p.ctrl->pos(), QPoint((area->width() - p.ctrl->width()) / 2, y));
            // The caption sits right under its instrument (hidden captions stay where they were).
            if (!running)
                QCOMPARE(p.box->pos(), QPoint(p.ctrl->x(), p.ctrl->y() + p.ctrl->height()));
            y += p.ctrl->height() + p.box->height() + 8;
        }
        QCOMPARE(button->geometry().bottom() + 1, area->height() - 12);
        QCOMPARE(button->x(), (area->width() - button->width()) / 2);
        QCOMPARE(button->text(), running ? QStringLiteral("Остановить") : QStringLiteral("Начать"));

        if (running) {
            d.StartStop(false);
            for (const Panel& p : panels) {
                QVERIFY(p.ctrl->isVisible());
                QVERIFY(p.box->isVisible());
            }
        }
    }

    void captionsFollowDraggedControls_data()
    {
        QTest::addColumn<int>("controlId");
        QTest::newRow("stave") << int(CInstrumentCtrl::StaveId);
        QTest::newRow("piano") << int(CInstrumentCtrl::PianoId);
        QTest::newRow("guitar") << int(CInstrumentCtrl::GuitarId);
    }
    void captionsFollowDraggedControls()
    {
        QFETCH(int, controlId);
        CTonveroDlg& d = shown();
        CInstrumentCtrl* ctrls[] = {d.piano.get(), d.guitar.get(), d.bass.get(), d.stave.get()};
        CInstrumentCtrl* ctrl = ctrls[controlId];
        const QPoint before = ctrl->pos();
        drag(ctrl, Qt::RightButton, QPoint(20, 5), QPoint(-30, 17));
        QCOMPARE(ctrl->pos(), before + QPoint(-30, 17));
        if (controlId == CInstrumentCtrl::StaveId) {
            QCOMPARE(d.noteNameLabel()->pos(),
                     QPoint(ctrl->x() + ctrl->width() + 12, ctrl->y() + ctrl->height() - ctrl->height() / 2));
        } else {
            QWidget* box = d.item(IdcPianoBox + controlId);
            QCOMPARE(box->pos(), QPoint(ctrl->x(), ctrl->y() + ctrl->height()));
        }
    }

    void captionsStayWhileRunning()
    {
        CTonveroDlg& d = shown();
        d.StartStop(false);
        const QPoint box = d.pianoBox->pos();
        const QPoint p(3, 400);
        d.OnCtrlMoved(CInstrumentCtrl::PianoId, &p);
        QCOMPARE(d.pianoBox->pos(), box);
        const QPoint s(100, 300);
        d.OnCtrlMoved(CInstrumentCtrl::StaveId, &s);
        QCOMPARE(d.noteNameLabel()->pos(), QPoint(100 + d.stave->width() + 12, 300 - d.stave->height() / 2));
    }

    void firstSizeNotificationIsIgnored()
    {
        m_dlg = std::make_unique<CTonveroDlg>();
        CTonveroDlg& d = *m_dlg;
        QVERIFY(d.bFirstSize);
        d.stave->move(1, 1);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(!d.bFirstSize);
        QCOMPARE(d.stave->pos(), QPoint(1, 1));

        d.resize(d.width() + 100, d.height() + 40);
        QTRY_COMPARE(d.stave->pos(),
                     QPoint((d.client()->width() - d.stave->width()) / 2, d.stave->y()));
        QVERIFY(d.stave->y() != 1);
    }

    void statisticsKeepDistanceFromRightEdge()
    {
        CTonveroDlg& d = shown();
        QVERIFY(!d.bFirstShow);
        QList<int> right;
        QList<int> top;
        for (int id = IdcTime; id <= IdcErrorsCaption; ++id) {
            QWidget* w = d.item(id);
            QVERIFY(w->isVisible());
            right << d.client()->width() - w->x();
            top << w->y();
        }
        d.resize(d.width() + 150, d.height() + 50);
        QTRY_COMPARE(d.client()->width() - d.item(IdcTime)->x(), right[0]);
        for (int id = IdcTime; id <= IdcErrorsCaption; ++id) {
            QWidget* w = d.item(id);
            QCOMPARE(d.client()->width() - w->x(), right[id - IdcTime]);
            QCOMPARE(w->y(), top[id - IdcTime]);
        }
        d.preferences().bShowStatistics = 0;
        d.UpdateLayout();
        for (int id = IdcTime; id <= IdcErrorsCaption; ++id)
            QVERIFY(!d.item(id)->isVisible());
    }

    void helpOverlay()
    {
        CTonveroDlg& d = shown();
        d.StartStop(false);
        d.OnCommand(CmdHelp);
        QVERIFY(!d.exercise().bRunning); // the guide stops a running exercise first
        QVERIFY(d.bHelpShown);
        const HelpOverlay* overlay = d.helpOverlay();
        QVERIFY(overlay->isVisible());
        QStringList texts;
        for (const auto& c : overlay->captions())
            texts << c.text;
        QCOMPARE(texts, (QStringList{QStringLiteral("1 Поменять"), QStringLiteral("2 Выбрать"),
                                     QStringLiteral("3 Перетащить"), QStringLiteral("4 Нажать")}));
        const QPoint s = d.stave->pos();
        QCOMPARE(overlay->captions().front().at, QPoint(s.x() - 150, s.y() + 40));
        auto hasLineTo = [overlay](const QPoint& p) {
            for (const QLine& l : overlay->lines())
                if (l.p2() == p)
                    return true;
            return false;
        };
        QVERIFY(hasLineTo(d.pianoBox->pos() + QPoint(5, 0)));
        QVERIFY(hasLineTo(d.bassBox->pos() + QPoint(5, 0)));
        QVERIFY(hasLineTo(d.piano->LowEndAnchor()));
        QVERIFY(hasLineTo(d.piano->HighEndAnchor()));
        QVERIFY(hasLineTo(d.startButton()->geometry().topLeft()
                          + QPoint(d.startButton()->width() / 2, d.startButton()->height() / 2)));

        // The next repaint request of a control takes the guide away.
        d.OnRedrawRequest();
        QVERIFY(!d.bHelpShown);
        QVERIFY(!overlay->isVisible());
    }
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
