// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QObject>
#include <QHash>
#include <functional>

class QTimer;
class QWidget;

namespace platform {

enum class CursorKind { Arrow, SizeAll, SizeWE };

// Sets the cursor shown over the widget (and while it holds the mouse).
void SetCursor(QWidget* widget, CursorKind kind);

// Mouse capture: Qt grabs the mouse implicitly from a press to its release,
// which is all the controls need; kept as calls so the controls read as designed.
void SetCapture(QWidget* widget);
void ReleaseCapture(QWidget* widget);

// Repaints the widget at once (update now, erase, invalidate); true when it is visible.
bool RedrawNow(QWidget* widget);

// Timers of one window, by id, as a window's SetTimer/KillTimer.
class TimerSet : public QObject {
    Q_OBJECT
public:
    explicit TimerSet(QObject* parent = nullptr);
    ~TimerSet() override;

    // Starts (or restarts) timer id with the period; the handler gets the id.
    void SetTimer(int id, int periodMs);
    void KillTimer(int id);
    bool IsActive(int id) const;
    int Period(int id) const;

    // Runs the handler of timer id now, as if it had fired (tests).
    void Fire(int id);

    std::function<void(int)> onTimer;

private:
    QHash<int, QTimer*> m_timers;
};

// The local time the exercise clock reads. Tests set a fixed time or an
// offset instead of waiting.
QDateTime Now();
void setNowForTest(std::function<QDateTime()> source);

} // namespace platform
