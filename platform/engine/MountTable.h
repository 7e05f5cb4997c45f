// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"

#include <QByteArray>

#include <vector>

// One line of /proc/self/mountinfo: which part (root) of which file system is mounted where.
struct MountEntry {
    int id = 0;
    unsigned major = 0;
    unsigned minor = 0;
    QByteArray root;        // the folder of the file system shown at the mount point
    QByteArray mountPoint;  // escapes undone
    QByteArray fsType;      // "ext4", "vfat", "fuseblk", "fuse.fusefat" ...
    QByteArray source;      // "/dev/sdb1", or whatever the file system says
};

// The entries of a mountinfo text in its order (mount order); malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const QByteArray& text);

// The mount a canonical path lies on: the last entry whose mount point holds it (a later
// mount hides an earlier one); null when none does.
const MountEntry* MountOfPath(const std::vector<MountEntry>& table, const QByteArray& canonicalPath);

// Where a folder of the file system (a path from its own root) is reached through a mount;
// empty when the mount does not show that folder.
QByteArray HostPathOf(const MountEntry& mount, const QByteArray& folderInFs);
// The folder of the file system that a path below the mount point is (the inverse).
QByteArray FolderInFsOf(const MountEntry& mount, const QByteArray& canonicalPath);

// File systems that are never a volume someone carries: kernel interfaces and memory.
bool IsVirtualFileSystem(const QByteArray& fsType);
// File systems served by another machine: not in the user's hand, and a server that is down
// blocks whoever opens or even stats them.
bool IsNetworkFileSystem(const QByteArray& fsType);
// A mount that may hold a handheld by its type alone, so that only such mounts are ever opened
// while looking for one: neither virtual nor served over the network.
bool IsCandidateFileSystem(const QByteArray& fsType);

// The process's mount table, followed through the kernel's change signal: the file reports
// POLLPRI | POLLERR on every mount or unmount, and reading it again re-arms the signal.
class CMountTable {
public:
    CMountTable();
    ~CMountTable() = default;
    CMountTable(const CMountTable&) = delete;
    CMountTable& operator=(const CMountTable&) = delete;

    bool IsOpen() const { return m_fd.IsValid(); }
    int Fd() const { return m_fd.Get(); }
    // Reads the whole table afresh; false when it cannot be read.
    bool Read(std::vector<MountEntry>& out);
    // True when the table changed since the last Read (does not wait).
    bool Changed() const;

private:
    CUniqueFd m_fd;
};
