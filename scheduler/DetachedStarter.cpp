// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/DetachedStarter.h"

#include <QProcess>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A descriptor that becomes readable when the process ends, and that cannot be confused
// with a later process given the same id.
int OpenProcessDescriptor(qint64 pid) {
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

bool CDetachedStarter::Child::HasEnded() const {
    if (pidFd.IsValid()) {
        pollfd entry{pidFd.Get(), POLLIN, 0};
        return ::poll(&entry, 1, 0) != 0;  // an error counts as ended rather than blocking starts forever
    }
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool CDetachedStarter::Start(const QString& program) {
    // The command replaces itself with the program (a launcher execs it), so the process
    // followed is the program's.
    const QStringList command = m_command ? m_command(program) : QStringList{program};
    if (command.isEmpty())
        return false;
    QProcess process;
    process.setProgram(command.front());
    process.setArguments(command.mid(1));
    qint64 pid = 0;
    if (!process.startDetached(&pid) || pid <= 0)
        return false;
    auto child = std::make_unique<Child>();
    child->pid = pid;
    child->pidFd.Reset(OpenProcessDescriptor(pid));
    if (!child->pidFd.IsValid() && errno == ESRCH)
        return true;  // it has already ended
    m_children[program] = std::move(child);
    return true;
}

bool CDetachedStarter::IsRunning(const QString& program) {
    const auto it = m_children.find(program);
    if (it == m_children.end())
        return false;
    if (!it->second->HasEnded())
        return true;
    m_children.erase(it);
    return false;
}
