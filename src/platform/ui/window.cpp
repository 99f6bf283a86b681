// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/window.h"

#include <QTimer>
#include <QWidget>

namespace platform {

void SetCursor(QWidget* widget, CursorKind kind)
{
    if (!widget)
        return;
    switch (kind) {
    case CursorKind::Arrow: widget->setCursor(Qt::ArrowCursor); break;
    case CursorKind::SizeAll: widget->setCursor(Qt::SizeAllCursor); break;
    case CursorKind::SizeWE: widget->setCursor(Qt::SizeHorCursor); break;
    }
}

// Qt's implicit grab already routes every move and the release to the widget
// that got the press; an explicit grab would outlive a lost release.
void SetCapture(QWidget*) {}

void ReleaseCapture(QWidget*) {}

bool RedrawNow(QWidget* widget)
{
    if (!widget || !widget->isVisible())
        return false;
    widget->repaint();
    return true;
}

TimerSet::TimerSet(QObject* parent) : QObject(parent) {}

TimerSet::~TimerSet() = default;

void TimerSet::SetTimer(int id, int periodMs)
{
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { Fire(id); });
    }
    timer->start(qMax(0, periodMs));
}

void TimerSet::KillTimer(int id)
{
    if (QTimer* timer = m_timers.value(id))
        timer->stop();
}

bool TimerSet::IsActive(int id) const
{
    QTimer* timer = m_timers.value(id);
    return timer && timer->isActive();
}

int TimerSet::Period(int id) const
{
    QTimer* timer = m_timers.value(id);
    return timer ? timer->interval() : -1;
}

void TimerSet::Fire(int id)
{
    if (onTimer)
        onTimer(id);
}

namespace {
std::function<QDateTime()> nowSource;
}

QDateTime Now()
{
    return nowSource ? nowSource() : QDateTime::currentDateTime();
}

void setNowForTest(std::function<QDateTime()> source)
{
    nowSource = std::move(source);
}

} // namespace platform
