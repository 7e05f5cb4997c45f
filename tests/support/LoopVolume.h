// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

// A file system in an image file, made for one test and mounted through a loop device: the
// way tests plug in and unplug a removable volume. FAT and exFAT go through the kernel where
// it has them, else through their FUSE drivers (fusefat, exfat-fuse). Whatever happens, the
// object unmounts what it mounted and detaches its loop devices when it goes.
class CLoopVolume {
public:
    // Ext4WithoutId has no UUID, so it is recognised by a marker file as FUSE volumes are, yet
    // holds links, pipes and device nodes.
    enum class Kind { Ext4, Ext4WithoutId, Fat, ExFat };

    // Makes and formats the image in folder (megabytes large); Problem() says when it failed.
    CLoopVolume(const QString& folder, Kind kind, const QString& label, int megabytes = 64);
    // An image that exists already (a copy of another volume's image, taken while it was
    // mounted), neither made nor formatted: mounting it is plugging in what the copy holds.
    static std::unique_ptr<CLoopVolume> OfImage(const QString& image, Kind kind);
    ~CLoopVolume();
    CLoopVolume(const CLoopVolume&) = delete;
    CLoopVolume& operator=(const CLoopVolume&) = delete;

    // Mounts on mountPoint (created); false with Problem() set when it cannot be done here.
    bool Mount(const QString& mountPoint);
    // Options added to every later kernel mount, such as "commit=30" for ext4 flushed the way a
    // desktop flushes a stick. A volume that only its FUSE driver can mount then fails to mount.
    void SetMountOptions(const QString& options) { m_extraOptions = options; }
    // Unmounts; when the volume is busy (a copy in progress) it is detached lazily, as a pulled
    // stick would be. False when it was not mounted or could not be unmounted.
    bool Unmount();

    // Makes the mounted volume refuse every write from now on, as a failing stick does: ext4
    // through its own error path (it is mounted with errors=remount-ro), the others by a
    // read-only remount, which the kernel refuses while a file is open for writing.
    bool GoReadOnly();

    bool IsMounted() const { return !m_mountPoint.isEmpty(); }
    const QString& MountPoint() const { return m_mountPoint; }
    const QString& Image() const { return m_image; }
    // Why the image could not be made or mounted, to report as the skip reason.
    const QString& Problem() const { return m_problem; }

private:
    explicit CLoopVolume(Kind kind) : m_kind(kind) {}
    bool MountWithKernel(const QString& mountPoint, const QString& type);
    bool MountWithFuse(const QString& mountPoint);
    void DetachLoop();

    Kind m_kind;
    QString m_image;
    QString m_mountPoint;
    QString m_loopDevice;  // set up by hand for FUSE drivers that need a block device
    QString m_problem;
    QString m_extraOptions;
};
