// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncFiles.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

}  // namespace

bool GetPcFileTime(const QString& path, int64_t& seconds) {
    struct stat st {};
    if (::stat(Native(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

bool IsPcFileAvailable(const QString& path) {
    CFd fd(::open(Native(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0)
        return false;
    // A file nobody may write counts as read-only even for a user the permissions let through.
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || (st.st_mode & 0222) == 0)
        return false;
    // A write lease is refused while any other descriptor is open on the file, which is the
    // nearest we get to an exclusive-sharing open. Where leases are not offered (not the
    // owner, a file system without them) the write test alone decides.
    if (::fcntl(fd.Get(), F_SETLEASE, F_WRLCK) != 0)
        return errno != EAGAIN && errno != EBUSY;
    ::fcntl(fd.Get(), F_SETLEASE, F_UNLCK);
    return true;
}

QString CreateSiblingTempFile(const QString& destination) {
    const QFileInfo info(destination);
    QByteArray pattern =
        Native(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    CFd fd(::mkstemp(pattern.data()));
    if (fd.Get() < 0)
        return QString();
    struct stat st {};
    const mode_t mode = ::stat(Native(destination).constData(), &st) == 0 ? (st.st_mode & 07777) : DefaultFileMode();
    ::fchmod(fd.Get(), mode);
    return QFile::decodeName(pattern);
}

bool ReplaceFile(const QString& temporary, const QString& destination) {
    if (::rename(Native(temporary).constData(), Native(destination).constData()) == 0)
        return true;
    ::unlink(Native(temporary).constData());
    return false;
}

bool CopyFileAtomically(const QString& source, const QString& destination) {
    CFd in(::open(Native(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0)
        return false;
    const QString temporary = CreateSiblingTempFile(destination);
    if (temporary.isEmpty())
        return false;
    CFd out(::open(Native(temporary).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    bool ok = out.Get() >= 0;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out.Get(), buffer, n);
    }
    if (ok)
        ok = ::fsync(out.Get()) == 0;
    out.Reset();
    if (!ok) {
        ::unlink(Native(temporary).constData());
        return false;
    }
    return ReplaceFile(temporary, destination);
}

int64_t LocalFileTimeToUtcSeconds(uint64_t localFileTime) {
    constexpr int64_t kFileTimeTo1970 = 11644473600LL;
    const int64_t localSeconds = static_cast<int64_t>(localFileTime / 10000000ULL) - kFileTimeTo1970;
    const time_t asUtc = static_cast<time_t>(localSeconds);
    struct tm fields {};
    if (::gmtime_r(&asUtc, &fields)) {
        fields.tm_isdst = -1;
        const time_t utc = ::mktime(&fields);
        if (utc != static_cast<time_t>(-1))
            return static_cast<int64_t>(utc);
    }
    // The local time could not be placed: shift by the zone's offset instead.
    ::tzset();
    return localSeconds + static_cast<int64_t>(::timezone);
}

CPrivateTempDir::~CPrivateTempDir() {
    Remove();
}

bool CPrivateTempDir::Create(const QString& parent) {
    Remove();
    if (parent.isEmpty())
        return false;
    QString base = parent;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    // mkdtemp creates the folder exclusively with mode 0700.
    QByteArray pattern = Native(base + QStringLiteral("dovetail-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return false;
    m_path = QFile::decodeName(pattern);
    return true;
}

void CPrivateTempDir::Remove() {
    if (m_path.isEmpty())
        return;
    QDir(m_path).removeRecursively();
    m_path.clear();
}
