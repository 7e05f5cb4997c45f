// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/FileCopy.h"

#include "platform/base/UniqueFd.h"
#include "platform/engine/SimulatorConfig.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Removes the temporary file (a name in the folder) unless the copy was committed.
class CTempFileGuard {
public:
    explicit CTempFileGuard(int folder) : m_folder(folder) {}
    void Watch(QByteArray name) { m_name = std::move(name); }
    ~CTempFileGuard() {
        if (!m_name.isEmpty())
            ::unlinkat(m_folder, m_name.constData(), 0);
    }
    CTempFileGuard(const CTempFileGuard&) = delete;
    CTempFileGuard& operator=(const CTempFileGuard&) = delete;
    void Commit() { m_name.clear(); }

private:
    int m_folder;
    QByteArray m_name;
};

QByteArray TempNameFor(const QByteArray& base) {
    static std::atomic<uint32_t> counter{0};
    thread_local std::mt19937 random{std::random_device{}()};
    // Keep the name short enough for the file system whatever the destination's length.
    return '.' + base.left(180) + ".dt" + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter++) + '-' +
           QByteArray::number(random(), 16) + ".tmp";
}

// Naming a file opened with O_TMPFILE goes through its /proc/self/fd link.
bool ProcFdUsable() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

int ReadWriteCopy(int in, int out, const CopyGoOn& goOn) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (goOn && !goOn())
            return ECANCELED;
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += put;
        }
    }
}

}  // namespace

int32_t EngineErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return 0;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return EngineError::kDiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
            return EngineError::kAccessDenied;
        case ENOENT:
            return EngineError::kNotFound;
        case ENOTDIR:
            return EngineError::kPathNotFound;
        case EISDIR:
            return EngineError::kIsFolder;
        default:
            return EngineError::kGeneral;
    }
}

int CopyFileData(int in, int out, CopyFlush flush, const CopyGoOn& goOn) {
    // In-kernel copy first; file systems or descriptors that cannot do it fall back to a
    // plain read/write loop before anything was written.
    // Write-back of each chunk starts while the next is copied, so the final flush has little
    // left to wait for.
    // A copy that may have to stop goes in smaller steps, so it stops soon after being told.
    const size_t chunk = goOn ? size_t(1) << 20 : size_t(32) << 20;
    // Below this much, the final flush writes the data as soon: starting write-back for a
    // small file would only cost a call.
    constexpr off_t kWriteBackStep = off_t(1) << 20;
    off_t written = 0;
    off_t writeBackFrom = 0;
    for (;;) {
        if (goOn && !goOn())
            return ECANCELED;
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
        if (copied > 0) {
            written += copied;
            if (flush == CopyFlush::Yes && written - writeBackFrom >= kWriteBackStep) {
                ::sync_file_range(out, writeBackFrom, written - writeBackFrom, SYNC_FILE_RANGE_WRITE);
                writeBackFrom = written;
            }
            continue;
        }
        if (copied == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)
            return ReadWriteCopy(in, out, goOn);
        return errno;
    }
}

int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& linkOrFile, CopyFlush flush, const CopyGoOn& goOn) {
    // A destination that is a link is replaced at the link's target, so the link survives.
    QByteArray destination = linkOrFile;
    struct stat linkStat {};
    if (::lstat(linkOrFile.constData(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
        if (char* real = ::realpath(linkOrFile.constData(), nullptr)) {
            destination = QByteArray(real);
            std::free(real);
        }
    }

    CUniqueFd in(::open(source.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.IsValid())
        return EngineErrorFromErrno(errno);
    struct stat sourceStat {};
    if (::fstat(in.Get(), &sourceStat) != 0)
        return EngineErrorFromErrno(errno);
    if (S_ISDIR(sourceStat.st_mode))
        return EngineError::kIsFolder;
    if (!S_ISREG(sourceStat.st_mode))
        return EngineError::kAccessDenied;

    struct stat destinationStat {};
    const bool replacing = ::stat(destination.constData(), &destinationStat) == 0;
    if (replacing && S_ISDIR(destinationStat.st_mode))
        return EngineError::kIsFolder;

    // Every step works through the destination's folder opened once: a volume detached lazily
    // (unplugged mid-copy) is still the one reached, so a temporary file on it is removed there.
    const qsizetype slash = destination.lastIndexOf('/');
    const QByteArray folderPath = slash > 0 ? destination.left(slash) : QByteArrayLiteral("/");
    const QByteArray name = destination.mid(slash + 1);
    const CUniqueFd folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid()) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? EngineError::kPathNotFound : EngineErrorFromErrno(error);
    }

    // The data goes to a file without a name where the file system allows it, so a copy
    // killed half-way leaves nothing behind; the name is given only once the data is safe.
    QByteArray temp;
    CUniqueFd out;
    bool anonymous = false;
    if (ProcFdUsable()) {
        out.Reset(::openat(folder.Get(), ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666));
        anonymous = out.IsValid();
        // File systems without unnamed files get a named temporary file instead.
        if (!anonymous && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int error = errno;
            return error == ENOENT ? EngineError::kPathNotFound : EngineErrorFromErrno(error);
        }
    }
    for (int attempt = 0; attempt < 8 && !out.IsValid(); ++attempt) {
        temp = TempNameFor(name);
        out.Reset(::openat(folder.Get(), temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!out.IsValid() && errno != EEXIST) {
            const int error = errno;
            return error == ENOENT ? EngineError::kPathNotFound : EngineErrorFromErrno(error);
        }
    }
    if (!out.IsValid())
        return EngineError::kGeneral;
    CTempFileGuard guard(folder.Get());
    guard.Watch(temp);

    // File systems without permissions (FAT through FUSE) cannot take a mode at all.
    if (replacing && ::fchmod(out.Get(), destinationStat.st_mode & 07777) != 0 && errno != ENOSYS &&
        errno != EOPNOTSUPP)
        return EngineErrorFromErrno(errno);
    if (const int error = CopyFileData(in.Get(), out.Get(), flush, goOn))
        return error == ECANCELED && goOn ? EngineError::kNotReady : EngineErrorFromErrno(error);

    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    if (::futimens(out.Get(), times) != 0 || (flush == CopyFlush::Yes && ::fsync(out.Get()) != 0))
        return EngineErrorFromErrno(errno);
    if (anonymous) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(out.Get());
        bool named = false;
        for (int attempt = 0; attempt < 8 && !named; ++attempt) {
            temp = TempNameFor(name);
            named = ::linkat(AT_FDCWD, self.constData(), folder.Get(), temp.constData(), AT_SYMLINK_FOLLOW) == 0;
            if (!named && errno != EEXIST)
                return EngineErrorFromErrno(errno);
        }
        if (!named)
            return EngineError::kGeneral;
        guard.Watch(temp);
    }
    if (const int error = out.Close())
        return EngineErrorFromErrno(error);
    if (goOn && !goOn())
        return EngineError::kNotReady;
    if (::renameat(folder.Get(), temp.constData(), folder.Get(), name.constData()) != 0)
        return EngineErrorFromErrno(errno);
    guard.Commit();
    // Some FUSE drivers (fusefat) stamp a renamed file with the current time; the name gets the
    // source's time once more. The data is in place already, so a failure here is not one of the copy.
    if (!anonymous)
        ::utimensat(folder.Get(), name.constData(), times, 0);

    // A new name is made durable at once; the data is already safe, so a failure here is not
    // one of the copy. Replacing an existing name needs no folder flush: the data was flushed
    // before the rename, so the name shows the old or the new content whatever happens, and
    // the rename reaches the disk with the file system's next commit, like the settings store.
    // The folder flush doubled the cost of copying many small files.
    if (replacing || flush == CopyFlush::No)
        return 0;
    CUniqueFd dir(::openat(folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsValid())
        ::fsync(dir.Get());
    return 0;
}
