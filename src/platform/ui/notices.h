// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace platform {

// The one channel for what the user should know without being stopped: no
// sound device, a keyboard unplugged, the history set aside. Each notice has a
// key; posting a key again replaces its text, clearing it takes it away.
// Posts from any thread reach the listeners on the channel's thread, in order.
class Notices : public QObject {
    Q_OBJECT
public:
    explicit Notices(QObject* parent = nullptr) : QObject(parent) {}

    // The text is plain, or rich text when it holds a link (<a href="...">).
    void post(const QString& key, const QString& text);
    void clear(const QString& key);
    // Every notice whose key starts so.
    void clearAll(const QString& keyPrefix);

signals:
    void posted(const QString& key, const QString& text);
    void cleared(const QString& key);
    void clearedAll(const QString& keyPrefix);
};

} // namespace platform
