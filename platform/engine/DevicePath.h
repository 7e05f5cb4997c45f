// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/base/UniqueFd.h"
#include "platform/engine/EpocEngine.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <utility>
#include <vector>

// The one way in to the handheld's files. Its root is opened as a real folder (never through
// a link or ".."; for a volume, on the mount that was located), and everything below it is
// reached one component at a time relative to an open folder: no link is ever followed, no
// other file system is ever entered, and only folders and regular files are ever used, regular
// files opened without blocking. Names match case-insensitively (an exact match wins) and keep
// their case when created. What the handheld holds comes from wherever the stick has been, so
// anything else is refused with an EngineError code, never followed:
//   kBadName      a link, a mount below the root, or a path that could leave the root;
//   kAccessDenied a named pipe, socket or device node;
//   kIsFolder     a folder where a file is needed;
//   kPathNotFound a missing folder, or a file where a folder is needed.

enum class DeviceEntryKind { File, Folder };
struct DeviceTarget;

// Where the handheld's root is, to be opened afresh for each operation.
struct DeviceRootPlace {
    QByteArray base;   // an absolute PC folder: the simulator's "DeviceRoot", a volume's mount point
    QByteArray below;  // the root's folder below base, relative, without "." or ".." ("" for base)
    int mountId = -1;  // for a volume: the mount base must be
    dev_t device = 0;  // for a volume: its file system, where the mount id cannot be read
    bool foldsCase = false;
};

// A folder of the handheld, open (O_PATH) on the handheld's file system. Move-only, but its
// descriptor can be shared; nothing is kept open longer than one operation (or one batch of
// them), since an open folder keeps a volume from unmounting.
class CDeviceDir {
public:
    CDeviceDir() = default;
    CDeviceDir(CDeviceDir&&) noexcept = default;
    CDeviceDir& operator=(CDeviceDir&&) noexcept = default;

    bool IsOpen() const { return m_fd && m_fd->IsValid(); }
    int Fd() const { return m_fd ? m_fd->Get() : -1; }
    dev_t Device() const { return m_device; }
    bool FoldsCase() const { return m_foldsCase; }
    // Where the folder is on the PC, for messages and display; never used to reach it.
    const QByteArray& HostPath() const { return m_hostPath; }

    // The entry called name: the exact spelling (always looked up on disk first where the file
    // system folds case, so that the stored spelling is kept), else the first name that matches
    // ignoring case among names that are valid UTF-8 without control characters. 0 with its
    // on-disk name, kind and status; kNotFound when there is none; otherwise a refusal as above.
    int32_t Lookup(const QByteArray& name, QByteArray& onDisk, DeviceEntryKind& kind,
                   struct stat* status = nullptr) const;
    // Opens the folder entry onDisk below this one: kNotFound when there is none, kPathNotFound
    // when it is no folder, otherwise a refusal as above.
    int32_t OpenFolder(const QByteArray& onDisk, CDeviceDir& out) const;
    // The same for a name that may be spelt otherwise on disk (looked for as Lookup does).
    int32_t OpenFolderIgnoringCase(const QByteArray& name, CDeviceDir& out) const;
    // Opens the regular file entry onDisk for reading. With seen, the entry's status from
    // Lookup, the file is opened at once (non-blocking, not through a link) and must be that
    // very file; without, it is looked at first and only a regular file is opened.
    int32_t OpenFile(const QByteArray& onDisk, CUniqueFd& out, struct stat& status,
                     const struct stat* seen = nullptr) const;
    // The folders and regular files in this folder by on-disk name; links, pipes and the like
    // are left out. kGeneral when the folder cannot be read.
    int32_t List(std::vector<std::pair<QByteArray, DeviceEntryKind>>& out) const;
    // A second descriptor of the same folder.
    int32_t Duplicate(CDeviceDir& out) const;
    // The same folder through the same descriptor, closed with its last holder.
    CDeviceDir Share() const;

private:
    friend int32_t OpenDeviceRoot(const DeviceRootPlace& place, CDeviceDir& out);
    std::shared_ptr<const CUniqueFd> m_fd;
    dev_t m_device = 0;
    bool m_foldsCase = false;
    QByteArray m_hostPath;
};

// The engine gave name in folder (on the handheld), which was as before shows before the
// change: lookups ignoring case on this thread then need no fresh listing of the folder.
void NoteDeviceEntryAdded(int folder, const QByteArray& name, const struct stat& before);

// Opens the root: base (absolute, no "." or ".." component, not itself a link; for a volume
// the located mount itself), then each folder of below without following links and on base's
// file system. kNotReady when the root cannot be used.
int32_t OpenDeviceRoot(const DeviceRootPlace& place, CDeviceDir& out);
// The place of the simulated handheld's root folder.
DeviceRootPlace SimulatorRootPlace(const QString& deviceRoot);

// An entry of the handheld, reached through the guarded walk.
struct DeviceTarget {
    CDeviceDir folder;  // the folder holding the entry (the root, for a drive)
    QByteArray entry;   // its on-disk name in folder (the name given, when it does not exist)
    QString name;       // on-disk name of the last component; "C:" for a drive itself
    bool exists = false;
    bool isFolder = false;
    struct stat status {};  // when it exists
    QByteArray hostPath;    // where it is on the PC, for messages; never used to reach it
};

// The path text of a FileSpec: 0, or EngineError::kBadName when it is not NUL-terminated
// within the record or is not valid UTF-8.
int32_t FileSpecPath(const FileSpec& spec, QByteArray& path);

// The folders a batch of operations walked to, by their path as given: many files of one folder
// cost one walk.
using CWalkedFolders = std::map<QByteArray, CDeviceDir>;

// Resolves an EPOC path below the open root. 0 on success (the last component may be absent:
// see exists); otherwise kBadName for a refused path or entry, kPathNotFound when the drive or
// a folder on the way is missing, kAccessDenied for a pipe or device node as the last component.
// With walked, a folder found there is used as it is, and one walked to is kept there.
int32_t ResolveDevicePath(const CDeviceDir& root, const QByteArray& epocPath, DeviceTarget& out,
                          CWalkedFolders* walked = nullptr);
// The handheld's root as one operation, or one batch of them, found it: opened once, with the
// folders walked to below it.
struct CRootVisit {
    bool opened = false;
    int32_t result = 0;
    CDeviceDir root;
    CWalkedFolders walked;

    // Resolves epocPath below the root, opened by open on the first call (0, kNotReady when
    // there is no handheld, kGeneral when its root cannot be used). In a batch the folders
    // walked to are kept for the next paths.
    int32_t Resolve(const QByteArray& epocPath, DeviceTarget& out, bool batch,
                    const std::function<int32_t(CDeviceDir&)>& open);
};

// The simulator's root folder: 0, or kNotReady when it is unusable.
int32_t OpenSimulatorRoot(const QString& deviceRoot, CDeviceDir& out);
// Resolves below the simulator's root folder; kNotReady when that folder is unusable, unless
// the path itself is refused (kBadName).
int32_t ResolveDevicePath(const QString& deviceRoot, const QByteArray& epocPath, DeviceTarget& out);
// What resolving gives when the root is unusable: kBadName for a refused path, else kNotReady.
int32_t UnreachableRootResult(const QByteArray& epocPath);

// True when the open fd lies on the mount with this id (its file system's device, where the
// kernel cannot tell the mount).
bool DescriptorIsOnMount(int fd, int mountId, dev_t device);

// Tests walk both ways: with openat2 (where the kernel has it) and with the fallback for
// kernels without it.
void UseOpenat2ForTesting(bool use);
