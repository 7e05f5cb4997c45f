// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/SignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalFds[0], &byte, 1);
    errno = saved;
}

}  // namespace

CSignalWatcher::CSignalWatcher(QObject* parent) : QObject(parent) {
    if (g_signalFds[0] >= 0)
        return;  // another watcher owns the handlers
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0)
        return;
    m_writeEnd.Reset(ends[0]);
    m_readEnd.Reset(ends[1]);
    g_signalFds[0] = ends[0];
    g_signalFds[1] = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.Get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CSignalWatcher::ReadSignal);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_installed = true;
    for (const int number : kSignals)
        m_installed = ::sigaction(number, &action, nullptr) == 0 && m_installed;
}

CSignalWatcher::~CSignalWatcher() {
    if (!m_notifier)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
    m_notifier.reset();
    g_signalFds[0] = g_signalFds[1] = -1;  // the ends close with this object
}

void CSignalWatcher::ReadSignal() {
    unsigned char byte = 0;
    while (::read(m_readEnd.Get(), &byte, 1) == 1)
        emit TerminationRequested(int(byte));
}
