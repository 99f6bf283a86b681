// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
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
    QString extraButton = {}; // MessageBoxWithButton only
};

// The same box with one more button beside OK, on the GUI thread only; true
// when the user pressed that button. With a hook set, the answer is the one
// given to setMessageBoxButtonAnswer (false by default).
bool MessageBoxWithButton(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
                          const QString& button);
void setMessageBoxButtonAnswer(bool pressed);

// Test seam: while a hook is set, calls go to it (on the caller's thread)
// instead of opening a blocking box. Pass an empty function to restore.
using MessageBoxHook = std::function<void(const MessageBoxCall&)>;
void setMessageBoxHook(MessageBoxHook hook);

// Told how long each box shown on the GUI thread kept the user, in ms (by the
// clock of platform::Now), once it has closed: an exercise clock leaves that
// time out. Observers are called on the GUI thread; the id removes one.
using HeldObserver = std::function<void(qint64 ms)>;
int addHeldObserver(HeldObserver observer);
void removeHeldObserver(int id);
// When the box now open on the GUI thread was opened (the outermost of nested
// ones); invalid while none is open. A clock reads time as standing still then.
QDateTime heldSince();

} // namespace platform
