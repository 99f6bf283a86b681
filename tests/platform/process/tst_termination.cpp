// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process/termination.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

class TestTermination : public QObject {
    Q_OBJECT

private slots:
    void signalsArriveOnTheGuiThread_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM (kill, shutdown)") << SIGTERM;
        QTest::newRow("SIGINT (Ctrl+C)") << SIGINT;
        QTest::newRow("SIGHUP (logout)") << SIGHUP;
    }
    void signalsArriveOnTheGuiThread()
    {
        QFETCH(int, signalNumber);
        platform::TerminationSignals termination;
        QVERIFY(termination.installed());
        QSignalSpy spy(&termination, &platform::TerminationSignals::requested);
        std::raise(signalNumber);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), signalNumber);
    }

    // A signal while a box is open inside a dialog ends both loops, innermost first.
    void nestedModalsAreClosed()
    {
        QDialog window;
        bool boxShown = false;
        QTimer::singleShot(0, &window, [&] {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok, &window);
            QTimer::singleShot(50, &window, [&] {
                boxShown = box.isVisible();
                platform::closeModalsAndWindow(&window);
            });
            box.exec();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &window, [] { QFAIL("the dialog's loop did not end"); });
        watchdog.start(10000);
        const int result = window.exec();
        QVERIFY(boxShown);
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(watchdog.isActive());
    }
};

QTEST_MAIN(TestTermination)
#include "tst_termination.moc"
