// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/HostileEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

}  // namespace

namespace HostileEntries {

bool Link(const QString& target, const QString& path) {
    return ::symlink(Native(target).constData(), Native(path).constData()) == 0;
}

bool Fifo(const QString& path) {
    return ::mkfifo(Native(path).constData(), 0644) == 0;
}

bool Socket(const QString& path) {
    // mknod makes a socket's inode without binding one: nothing listens, which is what a stick holds.
    return ::mknod(Native(path).constData(), S_IFSOCK | 0644, 0) == 0;
}

bool DeviceNode(const QString& path) {
    return ::mknod(Native(path).constData(), S_IFCHR | 0644, makedev(1, 5)) == 0;
}

}  // namespace HostileEntries

CFifoUnjammer::~CFifoUnjammer() {
    Unjam();
}

bool CFifoUnjammer::Unjam() {
    bool released = false;
    for (const QString& fifo : m_fifos) {
        struct stat st {};
        if (::lstat(Native(fifo).constData(), &st) != 0 || !S_ISFIFO(st.st_mode))
            continue;
        // Succeeds only while a reader waits; closing at once gives that reader an end of file.
        const int fd = ::open(Native(fifo).constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            released = true;
            ::close(fd);
        }
    }
    return released;
}

CSentinel::CSentinel(const QString& path, const QByteArray& content) : m_path(path), m_content(content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    file.close();
    // Times in the past, so that a read (access time) or write shows.
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, Native(path).constData(), times, 0);
    struct stat st {};
    if (::stat(Native(path).constData(), &st) == 0) {
        m_modified = st.st_mtim;
        m_accessed = st.st_atim;
    }
}

bool CSentinel::Untouched() const {
    struct stat st {};
    if (::lstat(Native(m_path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const bool sameTimes = st.st_mtim.tv_sec == m_modified.tv_sec && st.st_mtim.tv_nsec == m_modified.tv_nsec &&
                           st.st_atim.tv_sec == m_accessed.tv_sec && st.st_atim.tv_nsec == m_accessed.tv_nsec;
    // Reading the content last: that read changes the access time itself.
    QFile file(m_path);
    return sameTimes && file.open(QIODevice::ReadOnly) && file.readAll() == m_content;
}
