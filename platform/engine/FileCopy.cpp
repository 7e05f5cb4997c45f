// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/FileCopy.h"

#include "platform/base/RegularFile.h"
#include "platform/base/UniqueFd.h"
#include "platform/engine/DevicePath.h"
#include "platform/engine/FileMetadata.h"
#include "platform/engine/SimulatorConfig.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
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

// The length in bytes of the UTF-8 sequence starting at text[at]; 1 for a byte that starts none,
// so that any name, even one that is not UTF-8, is only ever cut between characters.
int SequenceLength(const QByteArray& text, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (at + length > text.size())
        return 1;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

// Less room left than a cluster of the largest usual size: a write that failed there failed for
// want of space, whatever the driver called it.
bool IsFull(int fd) {
    struct statvfs info {};
    return ::fstatvfs(fd, &info) == 0 && uint64_t(info.f_bavail) * info.f_frsize < (uint64_t(64) << 10);
}

// Naming a file opened with O_TMPFILE goes through its /proc/self/fd link.
bool ProcFdUsable() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

// The source's size, modification or change time moved since it was opened: it was written to.
bool SourceChanged(int in, const struct stat& opened) {
    struct stat now {};
    if (::fstat(in, &now) != 0)
        return true;
    const auto same = [](const struct timespec& a, const struct timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return now.st_size != opened.st_size || !same(now.st_mtim, opened.st_mtim) || !same(now.st_ctim, opened.st_ctim);
}

// Write-back of what was copied starts every this much, so that the final flush of a large
// copy has little left to wait for; below it the final flush writes the data as soon.
constexpr off_t kWriteBackStep = off_t(1) << 20;

// Starts write-back of out's bytes from `from` to `to` once there are enough of them.
void StartWriteBack(int out, CopyFlush flush, off_t to, off_t& from) {
    if (flush == CopyFlush::Yes && to - from >= kWriteBackStep) {
        ::sync_file_range(out, from, to - from, SYNC_FILE_RANGE_WRITE);
        from = to;
    }
}

int ReadWriteCopy(int in, int out, CopyFlush flush, const CopyGoOn& goOn, CContentHasher* hasher = nullptr) {
    const std::span<char> buffer = ThreadIoBuffer();
    off_t written = 0;
    off_t writeBackFrom = 0;
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
        if (hasher)
            hasher->Update(buffer.data(), std::size_t(got));
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            done += put;
        }
        written += got;
        StartWriteBack(out, flush, written, writeBackFrom);
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

QByteArray TempNameFor(const QByteArray& name, int maxBytes, int maxUtf16Units) {
    static std::atomic<uint32_t> counter{0};
    thread_local std::mt19937 random{std::random_device{}()};
    const QByteArray suffix = ".dt" + QByteArray::number(::getpid()) + '-' + QByteArray::number(counter++) + '-' +
                              QByteArray::number(random(), 16) + ".tmp";
    // The dot and the suffix are ASCII: one byte and one unit each.
    const qsizetype fixed = 1 + suffix.size();
    const qsizetype roomBytes = maxBytes - fixed;
    const qsizetype roomUnits = maxUtf16Units - fixed;
    qsizetype bytes = 0;
    qsizetype units = 0;
    while (bytes < name.size()) {
        const int length = SequenceLength(name, bytes);
        const int width = length == 4 ? 2 : 1;  // beyond the BMP, a UTF-16 surrogate pair
        if (bytes + length > roomBytes || units + width > roomUnits)
            break;
        bytes += length;
        units += width;
    }
    return '.' + name.left(bytes) + suffix;
}

void NameLimitsOf(int folder, int& maxBytes, int& maxUtf16Units) {
    maxBytes = 255;
    struct statfs info {};
    if (::fstatfs(folder, &info) == 0 && info.f_namelen > 0)
        maxBytes = int(std::min<long>(info.f_namelen, 4096));
    maxUtf16Units = maxBytes;
    // The kernel's FAT and exFAT report room for 255 characters in the widest character set.
    if (info.f_type == MSDOS_SUPER_MAGIC || info.f_type == EXFAT_SUPER_MAGIC)
        maxUtf16Units = std::min(maxUtf16Units, 255);
}

int CopyFileData(int in, int out, CopyFlush flush, const CopyGoOn& goOn, CContentHasher* hasher) {
    // Bytes to be fingerprinted pass through here; the kernel's copy would keep them from view.
    if (hasher)
        return ReadWriteCopy(in, out, flush, goOn, hasher);
    // In-kernel copy first; file systems or descriptors that cannot do it fall back to a
    // plain read/write loop before anything was written.
    // Write-back of each chunk starts while the next is copied.
    // A copy that may have to stop goes in smaller steps, so it stops soon after being told.
    const size_t chunk = goOn ? size_t(1) << 20 : size_t(32) << 20;
    off_t written = 0;
    off_t writeBackFrom = 0;
    for (;;) {
        if (goOn && !goOn())
            return ECANCELED;
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
        if (copied > 0) {
            written += copied;
            StartWriteBack(out, flush, written, writeBackFrom);
            continue;
        }
        if (copied == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)
            return ReadWriteCopy(in, out, flush, goOn);
        return errno;
    }
}

int32_t OpenCopySource(const QByteArray& path, CUniqueFd& out, struct stat& status) {
    out = OpenRegularFile(AT_FDCWD, path.constData(), 0, &status);
    if (out.IsValid())
        return 0;
    switch (errno) {
        case EISDIR:
            return EngineError::kIsFolder;
        case ENXIO:
            return EngineError::kAccessDenied;
        default:
            return EngineErrorFromErrno(errno);
    }
}

int32_t OpenCopyDestination(const QByteArray& path, CUniqueFd& folder, QByteArray& name) {
    // A destination that is a link is replaced at the link's target, so the link survives.
    QByteArray destination = path;
    struct stat linkStat {};
    if (::lstat(path.constData(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
        if (char* real = ::realpath(path.constData(), nullptr)) {
            destination = QByteArray(real);
            std::free(real);
        }
    }
    const qsizetype slash = destination.lastIndexOf('/');
    const QByteArray folderPath = slash > 0 ? destination.left(slash) : QByteArrayLiteral("/");
    name = destination.mid(slash + 1);
    if (name.isEmpty())
        return EngineError::kIsFolder;
    folder.Reset(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid()) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? EngineError::kPathNotFound : EngineErrorFromErrno(error);
    }
    return 0;
}

int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& destination, const CopyOptions& options) {
    CUniqueFd in;
    struct stat sourceStat {};
    if (const int32_t result = OpenCopySource(source, in, sourceStat))
        return result;
    CUniqueFd folder;
    QByteArray name;
    if (const int32_t result = OpenCopyDestination(destination, folder, name))
        return result;
    CopyOptions pc = options;
    pc.handheld = false;
    return CopyIntoFolder(in.Get(), sourceStat, folder.Get(), name, pc);
}

int32_t CopyFileAtomic(const QByteArray& source, const QByteArray& destination, CopyFlush flush, const CopyGoOn& goOn) {
    return CopyFileAtomic(source, destination, CopyOptions{flush, goOn, false, NameFlush::NewNames});
}

int32_t FlushFolder(int folder) {
    // fsync needs a descriptor that is open for reading; an O_PATH one is reopened.
    CUniqueFd dir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.IsValid())
        return EngineErrorFromErrno(errno);
    // A driver without a folder flush (some FUSE ones) has nothing more it could do.
    if (::fsync(dir.Get()) != 0 && errno != EINVAL && errno != ENOSYS)
        return errno == EIO ? EngineError::kGeneral : EngineErrorFromErrno(errno);
    return 0;
}

int32_t CopyIntoFolder(int in, const struct stat& sourceStat, int folder, const QByteArray& name,
                       const CopyOptions& options) {
    const CopyFlush flush = options.flush;
    const CopyGoOn& goOn = options.goOn;
    if (S_ISDIR(sourceStat.st_mode))
        return EngineError::kIsFolder;
    if (!S_ISREG(sourceStat.st_mode))
        return EngineError::kAccessDenied;

    // On the handheld the entry itself is judged; on the PC a link here has been resolved
    // already, and what it leads to is the user's own.
    struct stat destinationStat {};
    const bool replacing =
        ::fstatat(folder, name.constData(), &destinationStat, options.handheld ? AT_SYMLINK_NOFOLLOW : 0) == 0;
    if (replacing && S_ISDIR(destinationStat.st_mode))
        return EngineError::kIsFolder;
    if (replacing && options.handheld && S_ISLNK(destinationStat.st_mode))
        return EngineError::kBadName;
    if (replacing && options.handheld && !S_ISREG(destinationStat.st_mode))
        return EngineError::kAccessDenied;
    // Before the folder changes: the handheld's index of names learns the new one afterwards.
    struct stat folderBefore {};
    const bool indexed = options.handheld && ::fstat(folder, &folderBefore) == 0;

    // The data goes to a file without a name where the file system allows it, so a copy
    // killed half-way leaves nothing behind; the name is given only once the data is safe.
    int maxBytes = 255;
    int maxUnits = 255;
    NameLimitsOf(folder, maxBytes, maxUnits);
    QByteArray temp;
    CUniqueFd out;
    bool anonymous = false;
    if (ProcFdUsable()) {
        out.Reset(::openat(folder, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666));
        anonymous = out.IsValid();
        // File systems without unnamed files get a named temporary file instead.
        if (!anonymous && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            const int error = errno;
            return error == ENOENT ? EngineError::kPathNotFound : EngineErrorFromErrno(error);
        }
    }
    for (int attempt = 0; attempt < 8 && !out.IsValid(); ++attempt) {
        temp = TempNameFor(name, maxBytes, maxUnits);
        out.Reset(::openat(folder, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!out.IsValid() && errno != EEXIST) {
            const int error = errno;
            return error == ENOENT ? EngineError::kPathNotFound : EngineErrorFromErrno(error);
        }
    }
    if (!out.IsValid())
        return EngineError::kGeneral;
    CTempFileGuard guard(folder);
    guard.Watch(temp);

    // The document stays as private as it was: its mode, access-control list, extended
    // attributes and, where the process may give them, owner and group.
    if (replacing) {
        if (const int error = CopyFileMetadata(folder, name.constData(), destinationStat, out.Get()))
            return EngineErrorFromErrno(error);
    }
    if (const int error = CopyFileData(in, out.Get(), flush, goOn, options.hasher)) {
        if (error == ECANCELED && goOn)
            return EngineError::kNotReady;
        // Some drivers (fusefat) report a full volume as EPERM or EIO.
        return IsFull(out.Get()) ? EngineError::kDiskFull : EngineErrorFromErrno(error);
    }

    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    if (::futimens(out.Get(), times) != 0 || (flush == CopyFlush::Yes && ::fsync(out.Get()) != 0))
        return EngineErrorFromErrno(errno);
    // A source written to while it was read gives a mix of old and new bytes: such a copy never
    // gets a name. (A source replaced by a rename loses its name, which moves its change time
    // too: what was read is no longer the document.)
    if (SourceChanged(in, sourceStat))
        return EngineError::kSourceChanged;
    // The time as the file system keeps it (FAT rounds it), before any other writer could move it.
    if (options.written && ::fstat(out.Get(), options.written) != 0)
        return EngineErrorFromErrno(errno);
    // Asked before the new content gets any name: an unnamed file simply goes with its descriptor.
    if (goOn && !goOn())
        return EngineError::kNotReady;
    if (anonymous) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(out.Get());
        bool named = false;
        for (int attempt = 0; attempt < 8 && !named; ++attempt) {
            temp = TempNameFor(name, maxBytes, maxUnits);
            named = ::linkat(AT_FDCWD, self.constData(), folder, temp.constData(), AT_SYMLINK_FOLLOW) == 0;
            if (!named && errno != EEXIST)
                return EngineErrorFromErrno(errno);
        }
        if (!named)
            return EngineError::kGeneral;
        guard.Watch(temp);
    }
    if (const int error = out.Close())
        return EngineErrorFromErrno(error);
    // Renaming never follows a link at the destination: whatever was swapped in there meanwhile
    // is replaced, not written through.
    if (::renameat(folder, temp.constData(), folder, name.constData()) != 0)
        return EngineErrorFromErrno(errno);
    guard.Commit();
    if (indexed)
        NoteDeviceEntryAdded(folder, name, folderBefore);
    // Some FUSE drivers (fusefat) stamp a renamed file with the current time; the name gets the
    // source's time once more. The data is in place already, so a failure here is not one of the copy.
    if (!anonymous) {
        ::utimensat(folder, name.constData(), times, AT_SYMLINK_NOFOLLOW);
        // What the name shows now, where it is still the file just written.
        struct stat named {};
        if (options.written && ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == options.written->st_ino && named.st_size == options.written->st_size)
            *options.written = named;
    }

    // The data was flushed before the rename, so the name shows the old or the new content
    // whatever happens; only when the new one is on disk for good depends on the folder. Flushed
    // one copy at a time, the folder doubled the cost of copying many small files: a run defers
    // it and flushes each folder once. The data is safe already, so a failure here is not one of
    // the copy.
    const bool flushName = flush == CopyFlush::Yes &&
                           (options.names == NameFlush::Always || (options.names == NameFlush::NewNames && !replacing));
    if (flushName)
        FlushFolder(folder);
    return 0;
}
