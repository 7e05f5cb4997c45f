// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/SyncFiles.h"

#include "platform/base/UniqueFd.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/FileCopy.h"
#include "platform/engine/FileMetadata.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

}  // namespace

bool FlushPcFolder(const QString& folder) {
    CUniqueFd dir(::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.IsValid() && FlushFolder(dir.Get()) == 0;
}

bool GetPcFileTime(const QString& path, int64_t& seconds) {
    struct stat st {};
    if (::stat(Native(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

bool IsPcFileAvailable(const QString& path) {
    CUniqueFd fd(::open(Native(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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

CPcFileStamp StampPcFile(const QString& path) {
    struct stat st {};
    if (::stat(Native(path).constData(), &st) != 0)
        return {};
    const auto ns = [](const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {true,
            S_ISDIR(st.st_mode),
            ns(st.st_mtim),
            static_cast<int64_t>(st.st_size),
            static_cast<uint64_t>(st.st_dev),
            static_cast<uint64_t>(st.st_ino),
            ns(st.st_ctim)};
}

bool CopyFileAtomically(const QString& source, const QString& destination) {
    struct stat st {};
    if (::stat(Native(source).constData(), &st) != 0)
        return false;
    // The engine's copy keeps the source's time and writes an unnamed file until it is
    // complete; only the permissions it takes from the old destination need setting.
    // The name is flushed at once: a backup must be on disk before what it backs up is replaced.
    if (CopyFileAtomic(Native(source), Native(destination),
                       CopyOptions{CopyFlush::Yes, {}, false, NameFlush::Always}) != 0)
        return false;
    // A backup is as private as its document: mode, access-control list, attributes, owner.
    const CUniqueFd copy(::open(Native(destination).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!copy.IsValid())
        return ::chmod(Native(destination).constData(), st.st_mode & 07777) == 0;
    return CopyFileMetadata(AT_FDCWD, Native(source).constData(), st, copy.Get()) == 0;
}

bool FingerprintPcFile(const QString& path, CFileFacts& facts) {
    CUniqueFd fd;
    struct stat status {};
    if (OpenCopySource(Native(path), fd, status) != 0 || FingerprintOpenFile(fd.Get(), status, facts) != 0)
        return false;
    facts.time = EngineFileTime(false, status.st_mtim);
    return true;
}

bool PlaceConvertedFile(const QString& source, const QString& destination, CFileFacts& facts, QString& reason) {
    CContentHasher hasher;
    struct stat written {};
    CopyOptions options{CopyFlush::Yes, {}, false, NameFlush::Always, &hasher, &written};
    errno = 0;
    if (const int32_t result = CopyFileAtomic(Native(source), Native(destination), options)) {
        reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QString::number(result);
        return false;
    }
    facts = {uint64_t(written.st_size), EngineFileTime(false, written.st_mtim), hasher.Digest()};
    return true;
}

namespace {

// The one UTC second shown locally as fields, found from the zone's offsets around it: mktime
// reads the zone's file again on every call, a scan of many files asks a thousand times. False
// at a gap or an overlap of summer time, or where the offsets change more often than that.
bool OnlyUtcShownAs(int64_t localSeconds, const struct tm& fields, int64_t& utc) {
    constexpr int64_t kDay = 86400;
    int found = 0;
    for (const int64_t near : {localSeconds - kDay, localSeconds, localSeconds + kDay}) {
        const time_t probe = static_cast<time_t>(near);
        struct tm at {};
        if (!::localtime_r(&probe, &at))
            return false;
        const time_t candidate = static_cast<time_t>(localSeconds - at.tm_gmtoff);
        struct tm shown {};
        if (!::localtime_r(&candidate, &shown))
            return false;
        const bool shows = shown.tm_year == fields.tm_year && shown.tm_yday == fields.tm_yday &&
                           shown.tm_hour == fields.tm_hour && shown.tm_min == fields.tm_min &&
                           shown.tm_sec == fields.tm_sec;
        if (!shows || (found > 0 && utc == int64_t(candidate)))
            continue;
        if (++found > 1)
            return false;
        utc = int64_t(candidate);
    }
    return found == 1;
}

}  // namespace

int64_t LocalFileTimeToUtcSeconds(uint64_t localFileTime) {
    constexpr int64_t kFileTimeTo1970 = 11644473600LL;
    const int64_t localSeconds = static_cast<int64_t>(localFileTime / 10000000ULL) - kFileTimeTo1970;
    const time_t asUtc = static_cast<time_t>(localSeconds);
    struct tm fields {};
    if (::gmtime_r(&asUtc, &fields)) {
        if (int64_t utc = 0; OnlyUtcShownAs(localSeconds, fields, utc))
            return utc;
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
