// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/DevicePath.h"

#include "platform/base/RegularFile.h"
#include "platform/engine/FileCopy.h"
#include "platform/engine/SimulatorConfig.h"

#include <QFile>
#include <QList>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_useOpenat2{true};

bool IsValidUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

bool IsAcceptableComponent(const QByteArray& part) {
    if (part.isEmpty() || part == "." || part == ".." || part.size() > 255)
        return false;
    for (char c : part) {
        if (c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

// A name found on disk that may stand for a name asked for ignoring case: one the handheld could
// have been asked for at all, so that an undecodable or control-character name is never taken
// for a decoded look-alike.
bool IsComparableName(const QByteArray& name) {
    if (name == "." || name == "..")
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return IsValidUtf8(name);
}

// One folder below folder, never through a link and never onto another mount. openat2 checks
// all of it itself, so its answer needs no fstat: true is returned in checked. The fallback's
// O_NOFOLLOW gives a link's own descriptor (O_PATH), which the caller's fstat refuses, as it
// compares devices.
int OpenFolderComponent(int folder, const char* name, bool& checked) {
    if (g_useOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = uint64_t(O_PATH | O_DIRECTORY | O_CLOEXEC);
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
        const long fd = ::syscall(SYS_openat2, folder, name, &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) {
            checked = true;
            return int(fd);
        }
        g_useOpenat2.store(false, std::memory_order_relaxed);
    }
    checked = false;
    return ::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

int32_t RefusalForErrno(int error) {
    // ELOOP: a link; EXDEV: another mount (openat2).
    if (error == ELOOP || error == EXDEV || error == ENAMETOOLONG)
        return EngineError::kBadName;
    return EngineErrorFromErrno(error);
}

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, CloseDir>;

DirPtr OpenListing(int folder) {
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    DirPtr dir(::fdopendir(fd));
    if (!dir)
        ::close(fd);
    return dir;
}

// Whatever the locale: only A-Z and a-z pair up.
char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

bool IsPlainAscii(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool SameStamp(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The names of one folder, for looking names up ignoring case. A run looks up a thousand
// documents in one folder, and each that is missing (or, where the file system folds case,
// each one) took a listing of the whole folder. The index stays valid while the folder's
// modification and change times stay as they were; the engine's own new names are added as
// they are given (NoteDeviceEntryAdded), so its copies do not throw it away.
class CFolderIndex {
public:
    // The first comparable name in listing order matching wanted ignoring case (the exact
    // spelling first); empty when none.
    QByteArray Find(const QByteArray& wanted) const {
        if (m_exact.contains(wanted))
            return wanted;
        std::size_t best = SIZE_MAX;
        QByteArray found;
        if (IsPlainAscii(wanted)) {
            const auto it = m_ascii.find(Lowered(wanted));
            if (it != m_ascii.end()) {
                best = it->second.first;
                found = it->second.second;
            }
        }
        // Other names can still match (the Kelvin sign folds to "k"): compared as the toolkit does.
        const QString wantedText = QString::fromUtf8(wanted);
        for (const auto& [position, name] : m_others) {
            if (position >= best)
                break;
            if (QString::fromUtf8(name).compare(wantedText, Qt::CaseInsensitive) == 0)
                return name;
        }
        return found;
    }

    // Lists folder afresh; false when it cannot be read or is too large to keep.
    bool Build(int folder, const struct stat& status) {
        Clear();
        const DirPtr dir = OpenListing(folder);
        if (!dir)
            return false;
        std::size_t position = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (position++ >= kMostNames) {
                Clear();
                return false;
            }
            Add(QByteArray(entry->d_name), position);
        }
        m_next = position;
        m_device = status.st_dev;
        m_inode = status.st_ino;
        Restamp(status);
        return true;
    }

    bool IsFor(const struct stat& status) const {
        return m_valid && status.st_dev == m_device && status.st_ino == m_inode;
    }
    bool Matches(const struct stat& status) const {
        return IsFor(status) && SameStamp(status.st_mtim, m_modified) && SameStamp(status.st_ctim, m_changed);
    }
    void AddOwn(const QByteArray& name, const struct stat& after) {
        Add(name, ++m_next);
        Restamp(after);
    }
    void Clear() {
        m_valid = false;
        m_exact.clear();
        m_ascii.clear();
        m_others.clear();
    }

private:
    static constexpr std::size_t kMostNames = 100000;

    static std::string Lowered(const QByteArray& name) {
        std::string lowered(name.constData(), std::size_t(name.size()));
        std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
        return lowered;
    }
    void Add(const QByteArray& name, std::size_t position) {
        m_exact.insert(name);
        if (!IsComparableName(name))
            return;
        if (IsPlainAscii(name))
            m_ascii.try_emplace(Lowered(name), position, name);
        else
            m_others.emplace_back(position, name);
    }
    void Restamp(const struct stat& status) {
        m_modified = status.st_mtim;
        m_changed = status.st_ctim;
        m_valid = true;
    }

    bool m_valid = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    struct timespec m_modified {};
    struct timespec m_changed {};
    std::size_t m_next = 0;
    QSet<QByteArray> m_exact;
    std::unordered_map<std::string, std::pair<std::size_t, QByteArray>> m_ascii;
    std::vector<std::pair<std::size_t, QByteArray>> m_others;  // in listing order
};

// Per thread: each engine's worker looks up on its own.
CFolderIndex& ThreadFolderIndex() {
    thread_local CFolderIndex index;
    return index;
}

// The name of an entry of folder matching wanted when case is ignored (an exact match first);
// empty when none.
QByteArray FindIgnoringCase(int folder, const QByteArray& wanted) {
    struct stat st {};
    if (::fstat(folder, &st) != 0)
        return {};
    CFolderIndex& index = ThreadFolderIndex();
    if (!index.Matches(st) && !index.Build(folder, st))
        return {};
    return index.Find(wanted);
}

// Splits a relative folder path into its components; false when one of them is "." or "..".
bool SplitFolders(const QByteArray& path, QList<QByteArray>& out) {
    out.clear();
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty())
            continue;
        if (part == "." || part == "..")
            return false;
        out.append(part);
    }
    return true;
}

QByteArray JoinHostPath(const QByteArray& folder, const QByteArray& name) {
    return folder == "/" ? '/' + name : folder + '/' + name;
}

// The mount a descriptor is on, where the kernel says (-1 otherwise).
int64_t MountIdOf(int fd) {
    struct statx info {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &info) != 0 || !(info.stx_mask & STATX_MNT_ID))
        return -1;
    return int64_t(info.stx_mnt_id);
}

}  // namespace

void NoteDeviceEntryAdded(int folder, const QByteArray& name, const struct stat& before) {
    CFolderIndex& index = ThreadFolderIndex();
    struct stat after {};
    if (!index.Matches(before) || ::fstat(folder, &after) != 0 || !index.IsFor(after)) {
        index.Clear();
        return;
    }
    index.AddOwn(name, after);
}

bool DescriptorIsOnMount(int fd, int mountId, dev_t device) {
    const int64_t id = MountIdOf(fd);
    if (id >= 0)
        return id == mountId;
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_dev == device;
}

void UseOpenat2ForTesting(bool use) {
    g_useOpenat2.store(use, std::memory_order_relaxed);
}

int32_t CDeviceDir::Lookup(const QByteArray& name, QByteArray& onDisk, DeviceEntryKind& kind,
                           struct stat* status) const {
    if (!IsOpen())
        return EngineError::kNotReady;
    struct stat st {};
    QByteArray candidate = m_foldsCase ? FindIgnoringCase(Fd(), name) : QByteArray();
    if (candidate.isEmpty())
        candidate = name;
    if (::fstatat(Fd(), candidate.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return RefusalForErrno(errno);
        if (m_foldsCase)
            return EngineError::kNotFound;
        candidate = FindIgnoringCase(Fd(), name);
        if (candidate.isEmpty() || ::fstatat(Fd(), candidate.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return EngineError::kNotFound;
    }
    // A mount point below the root shows the mounted file system's folder.
    if (S_ISLNK(st.st_mode) || st.st_dev != m_device)
        return EngineError::kBadName;
    if (S_ISDIR(st.st_mode))
        kind = DeviceEntryKind::Folder;
    else if (S_ISREG(st.st_mode))
        kind = DeviceEntryKind::File;
    else
        return EngineError::kAccessDenied;
    onDisk = candidate;
    if (status)
        *status = st;
    return 0;
}

int32_t CDeviceDir::OpenFolder(const QByteArray& onDisk, CDeviceDir& out) const {
    if (!IsOpen())
        return EngineError::kNotReady;
    bool checked = false;
    CUniqueFd fd(OpenFolderComponent(Fd(), onDisk.constData(), checked));
    if (!fd.IsValid()) {
        switch (errno) {
            case ENOENT:
                return EngineError::kNotFound;
            case ENOTDIR:
                return EngineError::kPathNotFound;
            default:
                return RefusalForErrno(errno);
        }
    }
    if (!checked) {
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0)
            return EngineErrorFromErrno(errno);
        if (S_ISLNK(st.st_mode) || st.st_dev != m_device)
            return EngineError::kBadName;
        if (!S_ISDIR(st.st_mode))
            return EngineError::kPathNotFound;
    }
    out.m_fd = std::make_shared<const CUniqueFd>(std::move(fd));
    out.m_device = m_device;
    out.m_foldsCase = m_foldsCase;
    out.m_hostPath = JoinHostPath(m_hostPath, onDisk);
    return 0;
}

int32_t CDeviceDir::OpenFolderIgnoringCase(const QByteArray& name, CDeviceDir& out) const {
    // Where the file system folds case, a folder is entered by its stored spelling only: FUSE
    // drivers may give each spelling its own cached node, and a file replaced through one is
    // then read stale through the other.
    if (m_foldsCase) {
        const QByteArray found = FindIgnoringCase(Fd(), name);
        return OpenFolder(found.isEmpty() ? name : found, out);
    }
    int32_t result = OpenFolder(name, out);
    if (result != EngineError::kNotFound)
        return result;
    const QByteArray found = FindIgnoringCase(Fd(), name);
    if (found.isEmpty() || found == name)
        return EngineError::kNotFound;
    return OpenFolder(found, out);
}

int32_t CDeviceDir::OpenFile(const QByteArray& onDisk, CUniqueFd& out, struct stat& status,
                             const struct stat* seen) const {
    if (!IsOpen())
        return EngineError::kNotReady;
    struct stat st {};
    CUniqueFd fd;
    if (seen && S_ISREG(seen->st_mode)) {
        // The walk has just seen a regular file there: whatever replaced it meanwhile is opened
        // without blocking and refused below. (Only root can make a device node to swap in.)
        fd.Reset(::openat(Fd(), onDisk.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        if (fd.IsValid() && (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != seen->st_dev ||
                             st.st_ino != seen->st_ino || ::fcntl(fd.Get(), F_SETFL, 0) != 0))
            return EngineError::kAccessDenied;
    } else {
        fd = OpenRegularFile(Fd(), onDisk.constData(), O_NOFOLLOW, &st);
    }
    if (!fd.IsValid()) {
        switch (errno) {
            case EISDIR:
                return EngineError::kIsFolder;
            case ENXIO:
                return EngineError::kAccessDenied;
            default:
                return RefusalForErrno(errno);
        }
    }
    if (st.st_dev != m_device)
        return EngineError::kBadName;
    out = std::move(fd);
    status = st;
    return 0;
}

int32_t CDeviceDir::List(std::vector<std::pair<QByteArray, DeviceEntryKind>>& out) const {
    out.clear();
    const DirPtr dir = IsOpen() ? OpenListing(Fd()) : nullptr;
    if (!dir)
        return EngineError::kGeneral;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(Fd(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR)
            out.emplace_back(name, DeviceEntryKind::Folder);
        else if (type == DT_REG)
            out.emplace_back(name, DeviceEntryKind::File);
    }
    return 0;
}

int32_t CDeviceDir::Duplicate(CDeviceDir& out) const {
    CUniqueFd fd(IsOpen() ? ::fcntl(Fd(), F_DUPFD_CLOEXEC, 0) : -1);
    if (!fd.IsValid())
        return EngineError::kNotReady;
    out.m_fd = std::make_shared<const CUniqueFd>(std::move(fd));
    out.m_device = m_device;
    out.m_foldsCase = m_foldsCase;
    out.m_hostPath = m_hostPath;
    return 0;
}

CDeviceDir CDeviceDir::Share() const {
    CDeviceDir out;
    out.m_fd = m_fd;
    out.m_device = m_device;
    out.m_foldsCase = m_foldsCase;
    out.m_hostPath = m_hostPath;
    return out;
}

int32_t OpenDeviceRoot(const DeviceRootPlace& place, CDeviceDir& out) {
    out = CDeviceDir();
    QByteArray base = place.base;
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);  // "folder/" would follow a link called folder
    QList<QByteArray> parts;
    QList<QByteArray> below;
    if (!base.startsWith('/') || !SplitFolders(base, parts) || !SplitFolders(place.below, below))
        return EngineError::kNotReady;

    CUniqueFd fd(::open(base.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &st) != 0 || !S_ISDIR(st.st_mode))
        return EngineError::kNotReady;
    // The located mount itself, not whatever a path of that name leads to now.
    if (place.mountId >= 0 && !DescriptorIsOnMount(fd.Get(), place.mountId, place.device))
        return EngineError::kNotReady;
    CDeviceDir dir;
    dir.m_fd = std::make_shared<const CUniqueFd>(std::move(fd));
    dir.m_device = st.st_dev;
    dir.m_foldsCase = place.foldsCase;
    dir.m_hostPath = base;
    for (const QByteArray& part : below) {
        CDeviceDir next;
        if (dir.OpenFolder(part, next) != 0)
            return EngineError::kNotReady;
        dir = std::move(next);
    }
    out = std::move(dir);
    return 0;
}

DeviceRootPlace SimulatorRootPlace(const QString& deviceRoot) {
    DeviceRootPlace place;
    place.base = QFile::encodeName(deviceRoot);
    return place;
}

int32_t FileSpecPath(const FileSpec& spec, QByteArray& path) {
    const void* end = std::memchr(spec.path, '\0', sizeof spec.path);
    if (!end)
        return EngineError::kBadName;
    QByteArray text(spec.path, static_cast<const char*>(end) - spec.path);
    if (!IsValidUtf8(text))
        return EngineError::kBadName;
    path = std::move(text);
    return 0;
}

int32_t ResolveDevicePath(const CDeviceDir& root, const QByteArray& epocPath, DeviceTarget& out,
                          CWalkedFolders* walked) {
    out = DeviceTarget();
    const QByteArray& p = epocPath;
    if (p.size() < 2 || !std::isalpha(static_cast<unsigned char>(p[0])) || p[1] != ':')
        return EngineError::kBadName;
    QList<QByteArray> parts;
    if (p.size() > 2) {
        if (p[2] != '\\')
            return EngineError::kBadName;
        parts = p.mid(3).split('\\');
        // A trailing separator names the folder itself ("C:\Documents\").
        if (parts.size() >= 1 && parts.last().isEmpty())
            parts.removeLast();
        for (const QByteArray& part : parts) {
            if (!IsAcceptableComponent(part))
                return EngineError::kBadName;
        }
    }
    if (!root.IsOpen())
        return EngineError::kNotReady;

    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
    DeviceTarget target;
    target.name = QString(QLatin1Char(letter)) + QLatin1Char(':');
    DeviceEntryKind kind = DeviceEntryKind::File;
    struct stat st {};
    if (parts.isEmpty()) {
        QByteArray drive;
        const int32_t result = root.Lookup(QByteArray(1, letter), drive, kind, &st);
        if (result == EngineError::kNotFound || result == EngineError::kAccessDenied ||
            (result == 0 && kind != DeviceEntryKind::Folder))
            return EngineError::kPathNotFound;
        if (result != 0)
            return result;
        if (const int32_t dup = root.Duplicate(target.folder))
            return dup;
        target.entry = drive;
        target.exists = true;
        target.isFolder = true;
        target.status = st;
        target.hostPath = JoinHostPath(root.HostPath(), drive);
        out = std::move(target);
        return 0;
    }

    // Folders on the way are opened at once; only one that is missing is looked for ignoring case.
    CDeviceDir current;
    const QByteArray folderPath = p.left(p.lastIndexOf('\\', p.size() - 2));
    int32_t result = 0;
    if (const auto it = walked ? walked->find(folderPath) : CWalkedFolders::iterator(); walked && it != walked->end()) {
        current = it->second.Share();
    } else {
        result = root.OpenFolderIgnoringCase(QByteArray(1, letter), current);
        for (qsizetype i = 0; result == 0 && i + 1 < parts.size(); ++i) {
            CDeviceDir next;
            result = current.OpenFolderIgnoringCase(parts[i], next);
            current = std::move(next);
        }
        if (result == EngineError::kNotFound)
            return EngineError::kPathNotFound;
        if (result != 0)
            return result;
        if (walked)
            walked->emplace(folderPath, current.Share());
    }
    QByteArray entry;
    result = current.Lookup(parts.last(), entry, kind, &st);
    if (result == EngineError::kNotFound) {
        target.entry = parts.last();
        target.exists = false;
    } else if (result != 0) {
        return result;
    } else {
        target.entry = entry;
        target.exists = true;
        target.isFolder = kind == DeviceEntryKind::Folder;
        target.status = st;
    }
    target.name = QString::fromUtf8(target.entry);
    target.hostPath = JoinHostPath(current.HostPath(), target.entry);
    target.folder = std::move(current);
    out = std::move(target);
    return 0;
}

int32_t OpenSimulatorRoot(const QString& deviceRoot, CDeviceDir& out) {
    out = CDeviceDir();
    // A scan resolves below the simulator's root for every operation, so the root is kept per
    // thread and used again while the text still names that very folder (one lstat instead of
    // an open, an fstat and a close).
    struct Kept {
        QByteArray text;
        CDeviceDir root;
        struct stat status {};
    };
    thread_local Kept kept;
    const QByteArray text = QFile::encodeName(deviceRoot);
    struct stat now {};
    if (kept.root.IsOpen() && kept.text == text && !text.endsWith('/') && ::lstat(text.constData(), &now) == 0 &&
        S_ISDIR(now.st_mode) && now.st_dev == kept.status.st_dev && now.st_ino == kept.status.st_ino) {
        out = kept.root.Share();
        return 0;
    }
    CDeviceDir root;
    if (deviceRoot.isEmpty() || OpenDeviceRoot(SimulatorRootPlace(deviceRoot), root) != 0)
        return EngineError::kNotReady;
    if (::fstat(root.Fd(), &now) == 0) {
        kept.text = text;
        kept.root = root.Share();
        kept.status = now;
    }
    out = std::move(root);
    return 0;
}

int32_t CRootVisit::Resolve(const QByteArray& epocPath, DeviceTarget& out, bool batch,
                            const std::function<int32_t(CDeviceDir&)>& open) {
    if (!opened) {
        result = open(root);
        opened = true;
    }
    if (result == EngineError::kGeneral)
        return UnreachableRootResult(epocPath);
    if (result != 0)
        return result;
    return ResolveDevicePath(root, epocPath, out, batch ? &walked : nullptr);
}

int32_t UnreachableRootResult(const QByteArray& epocPath) {
    // The path's own form is judged first, as before the root is looked at.
    DeviceTarget ignored;
    const int32_t form = ResolveDevicePath(CDeviceDir(), epocPath, ignored);
    return form == EngineError::kBadName ? form : EngineError::kNotReady;
}

int32_t ResolveDevicePath(const QString& deviceRoot, const QByteArray& epocPath, DeviceTarget& out) {
    out = DeviceTarget();
    CDeviceDir root;
    if (OpenSimulatorRoot(deviceRoot, root) != 0)
        return UnreachableRootResult(epocPath);
    return ResolveDevicePath(root, epocPath, out);
}
