// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/dialogtemplate.h"

#include <QString>

// The program's home page, opened by the help menu and by the about box.
inline constexpr char kHomePageUrl[] = "https://github.com/tonvero/tonvero";
inline constexpr char kContactAddress[] = "tonvero@users.noreply.github.com";

// The about box (template 100): icon, name, version, author, e-mail and the home-page button.
class CAboutDlg : public platform::TemplateDialog {
    Q_OBJECT
public:
    enum { IdcHomePage = 1008, IdcEmail = 1036 };

    explicit CAboutDlg(QWidget* parent = nullptr);

    static const platform::DialogTemplate& Template();

    QString strEmail;

private:
    platform::DataExchange m_ddx;
};
