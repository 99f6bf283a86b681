// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process/termination.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
int wakeFds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    // Only async-signal-safe calls here: one byte down the pipe, and the next
    // such signal gets the default action.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[0], &byte, 1);
    std::signal(signalNumber, SIG_DFL);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (wakeFds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return;
    m_notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int s : kSignals)
        std::signal(s, SIG_DFL);
}

void TerminationSignals::onReadable()
{
    unsigned char byte = 0;
    while (::read(wakeFds[1], &byte, 1) == 1)
        emit requested(int(byte));
}

void closeModalsAndWindow(QWidget* window)
{
    // Each box's own loop ends when control returns to it; the innermost first.
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == window)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    if (!window)
        return;
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace platform
