// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal, kill) turned into
// a Qt signal on the GUI thread, so the program can end as if its window were
// closed: settings saved, notes switched off. A second signal while that runs
// ends the program at once, as the shell's Ctrl+C would.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the handlers could not be installed (the program then just dies on those signals).
    bool installed() const { return m_notifier != nullptr; }

signals:
    void requested(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
};

// Closes every modal box and dialog from the innermost out, then the given window.
void closeModalsAndWindow(class QWidget* window);

} // namespace platform
