// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/messagebox.h"

#include "platform/ui/window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QThread>
#include <map>
#include <mutex>

namespace platform {

namespace {
std::mutex hookMutex;
MessageBoxHook currentHook;

// GUI thread only.
std::map<int, HeldObserver> heldObservers;
int nextObserverId = 1;
int openBoxes = 0;
QDateTime outermostOpened;

// Brackets one box on the GUI thread; nested boxes count once, as the outermost.
QDateTime beginHeld()
{
    const QDateTime now = Now();
    if (openBoxes++ == 0)
        outermostOpened = now;
    return now;
}

void tellHeld(const QDateTime& since)
{
    if (--openBoxes > 0)
        return;
    outermostOpened = QDateTime();
    const qint64 ms = since.msecsTo(Now());
    if (ms <= 0)
        return;
    const auto observers = heldObservers; // an observer may remove itself
    for (const auto& [id, observer] : observers)
        observer(ms);
}

bool onGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

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
    const QDateTime opened = beginHeld();
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
    tellHeld(opened);
}
bool buttonAnswer = false;
} // namespace

bool MessageBoxWithButton(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
                          const QString& button)
{
    MessageBoxHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = currentHook;
    }
    const QDateTime opened = beginHeld();
    bool pressed = false;
    if (hook) {
        hook(MessageBoxCall{text, caption, icon, button});
        pressed = buttonAnswer;
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, parent);
        QPushButton* extra = box.addButton(button, QMessageBox::ActionRole);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        pressed = box.clickedButton() == extra;
    }
    tellHeld(opened);
    return pressed;
}

void setMessageBoxButtonAnswer(bool pressed)
{
    buttonAnswer = pressed;
}

void setMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(hookMutex);
    currentHook = std::move(hook);
}

int addHeldObserver(HeldObserver observer)
{
    const int id = nextObserverId++;
    heldObservers.emplace(id, std::move(observer));
    return id;
}

void removeHeldObserver(int id)
{
    heldObservers.erase(id);
}

QDateTime heldSince()
{
    return openBoxes > 0 ? outermostOpened : QDateTime();
}

void MessageBox(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon)
{
    MessageBoxHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = currentHook;
    }
    if (hook) {
        // A test's hook stands for the user: the time it takes is held time too.
        const bool gui = onGuiThread();
        const QDateTime opened = gui ? beginHeld() : QDateTime();
        hook(MessageBoxCall{text, caption, icon});
        if (gui)
            tellHeld(opened);
        return;
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
