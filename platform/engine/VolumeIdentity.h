// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/engine/DevicePath.h"
#include "platform/engine/MountTable.h"
#include "platform/engine/VolumeConfig.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <tuple>
#include <vector>

// How a volume is recognised wherever and however often it is mounted: by its file
// system's own identity, read with libblkid ("uuid:" + UUID or serial), or, for a volume
// without one (a FUSE mount such as a phone's storage), by the marker file adopting writes
// into the handheld's folder ("marker:" + a random UUID).

struct VolumeProbe {
    QString identity;  // empty when the file system has none
    QString fileSystem;
    QString label;
};

// Reads a block device's file system identity. Without the right to read the device, falls
// back to what the system has recorded (libblkid's cache, then /dev/disk/by-uuid).
VolumeProbe ProbeBlockDevice(const QByteArray& device);
// The device node a mount's source names, when it is a block device; empty otherwise.
QByteArray BlockDeviceOf(const MountEntry& mount);

inline constexpr char kVolumeMarkerName[] = ".dovetail-volume";
// The identity recorded by the marker in the open folder; empty when there is none or it is not
// ours. Only a regular file of at most 4 KiB is read, opened without following a link and
// without blocking, so a pipe or link planted as the marker is simply no marker.
QString ReadVolumeMarker(int folder);
// Writes a new marker into the open folder: created afresh (O_EXCL, never through a link or
// over anything already there), flushed, and removed again if it could not be written whole.
// Its identity, or empty on failure with errno set (EEXIST: something of that name is there).
QString WriteVolumeMarker(int folder);

// Where a volume's handheld folder (folderInFs, a path inside the file system as the store
// keeps it) is on a mount: the mount point and the folders below it. False when folderInFs is
// not absolute, has a "." or ".." component, or lies outside the part the mount shows.
bool VolumeRootPlace(const MountEntry& mount, const QByteArray& folderInFs, DeviceRootPlace& out);

// Where an adopted volume is mounted now.
struct VolumeLocation {
    MountEntry mount;
    QByteArray hostFolder;  // the handheld's root folder on this PC, for display
    DeviceRootPlace root;   // how the path layer opens it
};

// Finds adopted volumes in a mount table. A block device is probed only when a mount on it
// shows an adopted volume's folder, and at most once per choice: mount ids and loop devices
// are used again after an unmount, so an answer is never kept longer.
class CVolumeLocator {
public:
    // The identity of the file system behind a mount (blkid), cached; empty when it has none.
    VolumeProbe ProbeMount(const MountEntry& mount);
    // FAT and exFAT ignore case themselves, whichever driver mounts them.
    bool FoldsCase(const MountEntry& mount);
    // The first mount (in mount order) that shows the volume's folder; nothing when it is not
    // mounted, or its folder is gone or cannot be opened as the path layer's root (a link,
    // "..", or another file system on the way).
    std::optional<VolumeLocation> Locate(const AdoptedVolume& volume, const std::vector<MountEntry>& table);

    struct Handheld {
        AdoptedVolume volume;
        VolumeLocation where;
    };
    // The handheld among the adopted volumes: the one given by keepId on mount keepMount while
    // it is still there, else the one mounted first. What a mount was probed to be is kept while
    // it stays mounted.
    std::optional<Handheld> ChooseHandheld(const std::vector<AdoptedVolume>& volumes,
                                           const std::vector<MountEntry>& table, const QString& keepId = {},
                                           int keepMount = -1);

private:
    std::map<std::tuple<int, unsigned, unsigned>, VolumeProbe> m_probes;
};

// The label a volume is recorded with at adoption: the file system's label, else its type.
QString VolumeLabelOf(const VolumeProbe& probe, const QByteArray& fsType);
// The size of the file system an open descriptor lies on, in bytes; 0 when unknown.
uint64_t FileSystemSize(int fd);

// The adopted volume with machine id (high, low) as it is mounted now, beside what adoption
// recorded of it: a second stick cloned from the first has its identity, but seldom its label
// and size as well. False when that volume is not mounted.
struct VolumeDescription {
    QString label;
    QString mountPoint;
    uint64_t size = 0;  // 0 when unknown
    QString adoptedLabel;
    uint64_t adoptedSize = 0;  // 0 when not recorded
};
bool DescribeAdoptedVolume(uint32_t high, uint32_t low, VolumeDescription& out);

// The handheld's root as the volume engine chooses it (the adopted volume mounted first);
// false when none is connected.
bool ConnectedVolumeRoot(DeviceRootPlace& root);
