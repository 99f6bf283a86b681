// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <mutex>

namespace platform {

namespace {
std::mutex hookMutex;
MessageBoxHook currentHook;

QMessageBox::Icon toQt(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

void showNow(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon)
{
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
}
} // namespace

void setMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(hookMutex);
    currentHook = std::move(hook);
}

void MessageBox(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon)
{
    {
        std::lock_guard lock(hookMutex);
        if (currentHook) {
            currentHook(MessageBoxCall{text, caption, icon});
            return;
        }
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !qobject_cast<QApplication*>(app))
        return; // no GUI to show it in
    if (QThread::currentThread() == app->thread()) {
        showNow(parent, text, caption, icon);
        return;
    }
    QPointer<QWidget> guarded(parent);
    QMetaObject::invokeMethod(app, [guarded, text, caption, icon] {
        showNow(guarded.data(), text, caption, icon);
    }, Qt::QueuedConnection);
}

} // namespace platform
