// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/aboutdlg.h"
#include "platform/ui/shell.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestAboutDlg : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { platform::setShellOpenHook({}); }

    void texts()
    {
        CAboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("О программе Tonvero"));
        QStringList labels;
        for (QLabel* l : dlg.client()->findChildren<QLabel*>())
            if (!l->text().isEmpty())
                labels << l->text();
        QVERIFY(labels.contains(QStringLiteral("Tonvero")));
        QVERIFY(labels.contains(QStringLiteral("Версия 3.8.1     июль 2010")));
        QVERIFY(labels.contains(QStringLiteral("© Команда Tonvero")));
        auto* mail = dlg.itemAs<QLineEdit>(CAboutDlg::IdcEmail);
        QVERIFY(mail);
        QVERIFY(mail->isReadOnly());
        QCOMPARE(mail->text(), QString::fromLatin1(kContactAddress));
        QCOMPARE(dlg.itemAs<QPushButton>(CAboutDlg::IdcHomePage)->text(), QStringLiteral("Домашняя страница Tonvero"));
        QVERIFY(dlg.itemAs<QPushButton>(1)->isDefault());
        QCOMPARE(dlg.palette().color(QPalette::Window), QColor(Qt::white));
    }

    void homePageButtonOpensAddressAndStays()
    {
        QStringList opened;
        platform::setShellOpenHook([&opened](const QString& what) {
            opened << what;
            return true;
        });
        CAboutDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(dlg.itemAs<QPushButton>(CAboutDlg::IdcHomePage), Qt::LeftButton);
        QCOMPARE(opened, QStringList{QString::fromLatin1(kHomePageUrl)});
        QVERIFY(dlg.isVisible());
        QTest::mouseClick(dlg.itemAs<QPushButton>(1), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestAboutDlg)
#include "tst_aboutdlg.moc"
