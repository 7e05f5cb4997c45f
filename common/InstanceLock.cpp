// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A real folder (not a link) of this user that nobody else may write into.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 022) == 0;
}

}  // namespace

QString CInstanceLock::PrivateDir() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    const QString dir = QDir(QDir::tempPath()).filePath(u"dovetail-%1"_s.arg(::getuid()));
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return IsPrivateFolder(native) ? dir : QString();
}

QString CInstanceLock::DefaultPath() {
    const QString dir = PrivateDir();
    return dir.isEmpty() ? QString() : QDir(dir).filePath(u"DTkTimer.lock"_s);
}

CInstanceLock::Result CInstanceLock::Acquire(const QString& path) {
    if (m_fd.IsValid())
        return Result::Acquired;
    if (path.isEmpty())
        return Result::Unavailable;
    CUniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.IsValid())
        return Result::Unavailable;
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid())
        return Result::Unavailable;
    int locked;
    do {
        locked = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return errno == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    m_fd = std::move(fd);
    return Result::Acquired;
}

bool CInstanceLock::WriteRecord(const QByteArray& text) {
    if (!m_fd.IsValid() || ::ftruncate(m_fd.Get(), 0) != 0)
        return false;
    return ::pwrite(m_fd.Get(), text.constData(), size_t(text.size()), 0) == text.size();
}

QByteArray CInstanceLock::ReadRecord(const QString& path) {
    CUniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat status {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid())
        return {};
    QByteArray text(64 * 1024, '\0');
    const ssize_t read = ::pread(fd.Get(), text.data(), size_t(text.size()), 0);
    if (read <= 0)
        return {};
    text.truncate(read);
    return text;
}
