// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

class QLabel;
namespace platform {
class Notices;
}
class QToolButton;

namespace tonvero {

// A line at the foot of the main window for what the user should know but
// what must not stop an exercise: no sound device, a keyboard unplugged, the
// answer history set aside. Each notice has a key; posting the key again
// replaces its text. The newest shows until it is cleared or closed.
class NoticeLine : public QWidget {
    Q_OBJECT
public:
    explicit NoticeLine(QWidget* parent);

    // Shows what is posted on the program's notice channel.
    void listenTo(platform::Notices& channel);
    // GUI thread only; other threads queue the call.
    void post(const QString& key, const QString& text);
    void clear(const QString& key);
    void clearAll(const QString& keyPrefix);
    bool has(const QString& key) const;
    // The shown notice (empty when none), and all of them, newest first.
    QString currentText() const;
    QStringList texts() const;

    // The height the line needs at this width (0 when there is nothing to say).
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }

signals:
    void changed();
    // A link in the shown notice was followed.
    void linkActivated(const QString& link);

private:
    void refresh();

    QLabel* m_icon;
    QLabel* m_text;
    QToolButton* m_close;
    std::vector<std::pair<QString, QString>> m_notices; // oldest first
};

} // namespace tonvero
