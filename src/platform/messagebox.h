// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

enum class MsgIcon { None, Information, Exclamation, Error, Question };

// Shows a modal message box with an OK button. From a thread other than the
// GUI thread the box is queued to the GUI thread and the call returns at once.
void MessageBox(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon);

struct MessageBoxCall {
    QString text;
    QString caption;
    MsgIcon icon;
};

// Test seam: while a hook is set, calls go to it (on the caller's thread)
// instead of opening a blocking box. Pass an empty function to restore.
using MessageBoxHook = std::function<void(const MessageBoxCall&)>;
void setMessageBoxHook(MessageBoxHook hook);

} // namespace platform
