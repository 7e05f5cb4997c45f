// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/LoopVolume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    bool ok = false;
    QString output;
};

Outcome Execute(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {false, program + u" cannot be started"_s};
    p.waitForFinished(60000);
    const QString output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return {p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, output};
}

// True while some process (a FUSE driver) still names path on its command line.
bool ProcessUses(const QString& path) {
    const QByteArray wanted = QFile::encodeName(path);
    const QStringList pids = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric || pid.toInt() == int(::getpid()))
            continue;
        QFile cmdline(u"/proc/"_s + pid + u"/cmdline"_s);
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().split('\0').contains(wanted))
            return true;
    }
    return false;
}

}  // namespace

CLoopVolume::CLoopVolume(const QString& folder, Kind kind, const QString& label, int megabytes) : m_kind(kind) {
    const char* names[] = {"ext4", "ext4noid", "fat", "exfat"};
    m_image = folder + u'/' + label + u'-' + QLatin1String(names[int(kind)]) + u".img"_s;
    QFile image(m_image);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(qint64(megabytes) << 20)) {
        m_problem = u"cannot make the image "_s + m_image;
        return;
    }
    image.close();
    Outcome made;
    switch (kind) {
        case Kind::Ext4:
            made = Execute(u"mkfs.ext4"_s, {u"-q"_s, u"-F"_s, u"-L"_s, label, m_image});
            break;
        case Kind::Ext4WithoutId:
            made = Execute(u"mkfs.ext4"_s, {u"-q"_s, u"-F"_s, u"-U"_s, u"clear"_s, u"-L"_s, label, m_image});
            break;
        case Kind::Fat:
            made = Execute(u"mkfs.vfat"_s, {u"-n"_s, label.toUpper().left(11), m_image});
            break;
        case Kind::ExFat:
            made = Execute(u"mkfs.exfat"_s, {u"-L"_s, label, m_image});
            break;
    }
    if (!made.ok)
        m_problem = u"cannot format the image (is dosfstools / exfatprogs / e2fsprogs installed?): "_s + made.output;
}

std::unique_ptr<CLoopVolume> CLoopVolume::OfImage(const QString& image, Kind kind) {
    std::unique_ptr<CLoopVolume> volume(new CLoopVolume(kind));
    volume->m_image = image;
    if (!QFileInfo(image).isFile())
        volume->m_problem = u"no image "_s + image;
    return volume;
}

CLoopVolume::~CLoopVolume() {
    if (IsMounted())
        Unmount();
    DetachLoop();
}

bool CLoopVolume::Mount(const QString& mountPoint) {
    if (!m_problem.isEmpty())
        return false;
    if (IsMounted()) {
        m_problem = u"already mounted on "_s + m_mountPoint;
        return false;
    }
    if (::geteuid() != 0) {
        m_problem = u"mounting a loop device needs root, and the tests run as an ordinary user"_s;
        return false;
    }
    QDir().mkpath(mountPoint);
    switch (m_kind) {
        case Kind::Ext4:
        case Kind::Ext4WithoutId:
            return MountWithKernel(mountPoint, u"ext4"_s);
        case Kind::Fat:
            return MountWithKernel(mountPoint, u"vfat"_s) || MountWithFuse(mountPoint);
        case Kind::ExFat:
            return MountWithKernel(mountPoint, u"exfat"_s) || MountWithFuse(mountPoint);
    }
    return false;
}

bool CLoopVolume::MountWithKernel(const QString& mountPoint, const QString& type) {
    QString options = type == u"ext4"_s ? u"loop,errors=remount-ro"_s : u"loop"_s;
    if (!m_extraOptions.isEmpty())
        options += u',' + m_extraOptions;
    const Outcome mounted = Execute(u"mount"_s, {u"-t"_s, type, u"-o"_s, options, m_image, mountPoint});
    if (!mounted.ok) {
        m_problem = u"mount -t "_s + type + u" -o "_s + options + u" failed: "_s + mounted.output;
        return false;
    }
    m_mountPoint = mountPoint;
    m_problem.clear();
    return true;
}

// The kernel of this machine may lack FAT and exFAT; their FUSE drivers do the same job.
bool CLoopVolume::MountWithFuse(const QString& mountPoint) {
    const QString kernelProblem = m_problem;
    if (!m_extraOptions.isEmpty()) {
        m_problem = kernelProblem + u"; and the FUSE driver does not take "_s + m_extraOptions;
        return false;
    }
    Outcome mounted;
    if (m_kind == Kind::Fat) {
        if (QStandardPaths::findExecutable(u"fusefat"_s).isEmpty()) {
            m_problem = kernelProblem + u"; and fusefat is not installed"_s;
            return false;
        }
        mounted = Execute(u"fusefat"_s, {u"-o"_s, u"rw+"_s, m_image, mountPoint});
    } else {
        if (QStandardPaths::findExecutable(u"mount.exfat-fuse"_s).isEmpty()) {
            m_problem = kernelProblem + u"; and exfat-fuse is not installed"_s;
            return false;
        }
        // exfat-fuse wants a block device; the loop device is set up by hand.
        if (m_loopDevice.isEmpty()) {
            const Outcome loop = Execute(u"losetup"_s, {u"-f"_s, u"--show"_s, m_image});
            if (!loop.ok) {
                m_problem = kernelProblem + u"; and losetup failed: "_s + loop.output;
                return false;
            }
            m_loopDevice = loop.output;
        }
        mounted = Execute(u"mount.exfat-fuse"_s, {m_loopDevice, mountPoint});
    }
    if (!mounted.ok) {
        m_problem = kernelProblem + u"; and the FUSE driver failed: "_s + mounted.output;
        return false;
    }
    m_mountPoint = mountPoint;
    m_problem.clear();
    return true;
}

bool CLoopVolume::Unmount() {
    if (!IsMounted())
        return false;
    bool done = false;
    for (int attempt = 0; attempt < 3 && !done; ++attempt) {
        done = Execute(u"umount"_s, {m_mountPoint}).ok;
        if (!done)
            QThread::msleep(100);
    }
    if (!done)
        done = Execute(u"umount"_s, {u"-l"_s, m_mountPoint}).ok;
    if (!done)
        return false;
    m_mountPoint.clear();
    // A FUSE driver detached lazily writes until its last file is closed; the image is not
    // mounted again before it has finished.
    const QString driverArgument = m_loopDevice.isEmpty() ? m_image : m_loopDevice;
    for (int wait = 0; wait < 200 && ProcessUses(driverArgument); ++wait)
        QThread::msleep(50);
    return true;
}

bool CLoopVolume::GoReadOnly() {
    if (!IsMounted())
        return false;
    if (m_kind == Kind::Ext4 || m_kind == Kind::Ext4WithoutId) {
        const Outcome source = Execute(u"findmnt"_s, {u"-no"_s, u"SOURCE"_s, m_mountPoint});
        QFile trigger(u"/sys/fs/ext4/"_s + QFileInfo(source.output).fileName() + u"/trigger_fs_error"_s);
        if (!source.ok || !trigger.open(QIODevice::WriteOnly))
            return false;
        trigger.write("test: the stick fails");
        trigger.close();
    } else if (!Execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, m_mountPoint}).ok) {
        return false;
    }
    const QString options = Execute(u"findmnt"_s, {u"-no"_s, u"OPTIONS"_s, m_mountPoint}).output;
    return options.startsWith(u"ro"_s) || options.contains(u"emergency_ro"_s);
}

void CLoopVolume::DetachLoop() {
    if (m_loopDevice.isEmpty())
        return;
    // A device still in use is detached as soon as it is released.
    Execute(u"losetup"_s, {u"-d"_s, m_loopDevice});
    m_loopDevice.clear();
}
