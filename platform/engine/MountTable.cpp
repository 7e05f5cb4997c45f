// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/MountTable.h"

#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Mount points and sources escape blank, tab, newline and backslash as three octal digits.
QByteArray Unescape(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

bool IsInside(const QByteArray& path, const QByteArray& folder) {
    if (folder == "/")
        return path.startsWith('/');
    return path == folder || path.startsWith(folder + '/');
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const QByteArray& text) {
    std::vector<MountEntry> table;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        const qsizetype dash = fields.indexOf(QByteArray("-"), 6);
        if (fields.size() < 10 || dash < 6 || dash + 2 >= fields.size())
            continue;
        MountEntry entry;
        bool ok = false;
        entry.id = fields[0].toInt(&ok);
        const QList<QByteArray> numbers = fields[2].split(':');
        if (!ok || numbers.size() != 2)
            continue;
        bool okMajor = false;
        bool okMinor = false;
        entry.major = numbers[0].toUInt(&okMajor);
        entry.minor = numbers[1].toUInt(&okMinor);
        if (!okMajor || !okMinor)
            continue;
        entry.root = Unescape(fields[3]);
        entry.mountPoint = Unescape(fields[4]);
        entry.fsType = Unescape(fields[dash + 1]);
        entry.source = Unescape(fields[dash + 2]);
        if (!entry.mountPoint.startsWith('/') || !entry.root.startsWith('/'))
            continue;
        table.push_back(std::move(entry));
    }
    return table;
}

const MountEntry* MountOfPath(const std::vector<MountEntry>& table, const QByteArray& canonicalPath) {
    const MountEntry* found = nullptr;
    for (const MountEntry& entry : table) {
        if (!IsInside(canonicalPath, entry.mountPoint))
            continue;
        // The deepest mount point wins; at equal depth the later mount hides the earlier.
        if (!found || entry.mountPoint.size() >= found->mountPoint.size())
            found = &entry;
    }
    return found;
}

QByteArray HostPathOf(const MountEntry& mount, const QByteArray& folderInFs) {
    if (!IsInside(folderInFs, mount.root))
        return {};
    const QByteArray below = mount.root == "/" ? folderInFs : folderInFs.mid(mount.root.size());
    if (mount.mountPoint == "/")
        return below.isEmpty() ? QByteArray("/") : below;
    return below == "/" || below.isEmpty() ? mount.mountPoint : mount.mountPoint + below;
}

QByteArray FolderInFsOf(const MountEntry& mount, const QByteArray& canonicalPath) {
    const QByteArray below = mount.mountPoint == "/" ? canonicalPath : canonicalPath.mid(mount.mountPoint.size());
    QByteArray folder = mount.root == "/" ? below : mount.root + below;
    if (folder.isEmpty())
        folder = "/";
    return folder;
}

bool IsVirtualFileSystem(const QByteArray& fsType) {
    static const QList<QByteArray> kinds{"proc",       "sysfs",     "devtmpfs",   "devpts",      "tmpfs",    "ramfs",
                                         "cgroup",     "cgroup2",   "cpuset",     "mqueue",      "debugfs",  "tracefs",
                                         "securityfs", "pstore",    "bpf",        "binfmt_misc", "fusectl",  "configfs",
                                         "hugetlbfs",  "autofs",    "rpc_pipefs", "nsfs",        "efivarfs", "overlay",
                                         "squashfs",   "selinuxfs", "nfsd",       "pipefs",      "sockfs"};
    return kinds.contains(fsType);
}

bool IsNetworkFileSystem(const QByteArray& fsType) {
    static const QList<QByteArray> kinds{"nfs",
                                         "nfs4",
                                         "cifs",
                                         "smb3",
                                         "smbfs",
                                         "ncpfs",
                                         "9p",
                                         "afs",
                                         "ceph",
                                         "glusterfs",
                                         "lustre",
                                         "coda",
                                         "orangefs",
                                         "davfs",
                                         "fuse.sshfs",
                                         "fuse.davfs",
                                         "fuse.rclone",
                                         "fuse.s3fs",
                                         "fuse.gvfsd-fuse",
                                         "fuse.glusterfs",
                                         "fuse.ceph-fuse",
                                         "fuse.curlftpfs",
                                         "fuse.smbnetfs"};
    return kinds.contains(fsType);
}

bool IsCandidateFileSystem(const QByteArray& fsType) {
    return !IsVirtualFileSystem(fsType) && !IsNetworkFileSystem(fsType);
}

CMountTable::CMountTable() : m_fd(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}

namespace {

bool ReadWhole(int fd, QByteArray& text) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
    text.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        text.append(buffer, got);
    }
}

}  // namespace

bool CMountTable::Read(std::vector<MountEntry>& out) {
    if (!m_fd.IsValid())
        return false;
    // The kernel hands the table out a page at a time, and a mount made or gone between two
    // pages can shift the rest: an entry is skipped or shown twice, and a handheld that stayed
    // would seem gone. Only a table read twice alike is taken.
    QByteArray text;
    if (!ReadWhole(m_fd.Get(), text))
        return false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        QByteArray again;
        if (!ReadWhole(m_fd.Get(), again))
            return false;
        if (again == text) {
            out = ParseMountInfo(text);
            return true;
        }
        text = std::move(again);
    }
    return false;
}

bool CMountTable::Changed() const {
    if (!m_fd.IsValid())
        return false;
    pollfd p{m_fd.Get(), POLLPRI, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR));
}
