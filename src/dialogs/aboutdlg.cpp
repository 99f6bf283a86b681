// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/aboutdlg.h"

#include "platform/ui/shell.h"

#include <QLineEdit>
#include <QPushButton>

using platform::ItemKind;

const platform::DialogTemplate& CAboutDlg::Template()
{
    static const platform::DialogTemplate tmpl{
        100,
        QT_TRANSLATE_NOOP("About", "О программе Tonvero"),
        QSize(245, 70),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {-1, ItemKind::StaticIcon, QStringLiteral("128"), QRect(11, 17, 20, 20)},
            {-1, ItemKind::Static, QStringLiteral("Tonvero"), QRect(46, 15, 41, 8)},
            {-1, ItemKind::Static, QT_TRANSLATE_NOOP("About", "© Команда Tonvero"), QRect(37, 30, 73, 8)},
            {1, ItemKind::DefPushButton, QStringLiteral("OK"), QRect(183, 49, 50, 14)},
            {-1, ItemKind::Static, QT_TRANSLATE_NOOP("About", "Версия 3.8.1     июль 2010"), QRect(123, 15, 100, 8)},
            {IdcHomePage, ItemKind::PushButton, QT_TRANSLATE_NOOP("About", "Домашняя страница Tonvero"), QRect(45, 49, 133, 14)},
            {IdcEmail, ItemKind::Edit, QString(), QRect(122, 30, 81, 12), platform::ReadOnly},
        },
        "About",
    };
    return tmpl;
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : platform::TemplateDialog(parent), strEmail(QString::fromLatin1(kContactAddress)), m_ddx(this)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    createFromTemplate(Template());
    setFixedSize(size());

    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    if (auto* ok = itemAs<QPushButton>(1))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    if (auto* home = itemAs<QPushButton>(IdcHomePage))
        connect(home, &QPushButton::clicked, this,
                [] { platform::ShellOpen(QString::fromLatin1(kHomePageUrl)); });
    m_ddx.text(item(IdcEmail), &strEmail);
    m_ddx.run(false);
    if (QWidget* email = item(IdcEmail)) {
        email->setAccessibleName(tr("Адрес для писем"));
        email->setAccessibleDescription(tr("Можно выделить и скопировать"));
    }
    if (auto* ok = itemAs<QPushButton>(1))
        ok->setFocus();
}
