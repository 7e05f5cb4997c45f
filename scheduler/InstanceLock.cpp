// SPDX-License-Identifier: GPL-3.0-or-later
#include "scheduler/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

CInstanceLock::~CInstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);  // releases the lock
}

QString CInstanceLock::DefaultPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(u"DTkTimer.lock"_s);
    return QDir(QDir::tempPath()).filePath(u"DTkTimer-%1.lock"_s.arg(::getuid()));
}

CInstanceLock::Result CInstanceLock::Acquire(const QString& path) {
    if (m_fd >= 0)
        return Result::Acquired;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Unavailable;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
        ::close(fd);
        return Result::Unavailable;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Result::HeldElsewhere : Result::Unavailable;
    }
    m_fd = fd;
    return Result::Acquired;
}
