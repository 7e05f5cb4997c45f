// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/VolumeIdentity.h"

#include "platform/base/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <blkid/blkid.h>

#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct ProbeDeleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

QString ProbeValue(blkid_probe probe, const char* name) {
    const char* data = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || !data)
        return {};
    return QString::fromUtf8(data);  // NUL-terminated; the length counts the NUL
}

QString CachedTag(const char* tag, const QByteArray& device) {
    blkid_cache cache = nullptr;
    if (blkid_get_cache(&cache, nullptr) != 0)
        return {};
    QString value;
    if (char* text = blkid_get_tag_value(cache, tag, device.constData())) {
        value = QString::fromUtf8(text);
        std::free(text);
    }
    blkid_put_cache(cache);
    return value;
}

// The name of the link in folder that leads to device (udev's by-uuid and by-label folders).
QString LinkNameFor(const QString& folder, const QByteArray& device) {
    const QString target = QFileInfo(QFile::decodeName(device)).canonicalFilePath();
    const QFileInfoList links = QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        if (link.canonicalFilePath() == target) {
            // udev escapes blanks and the like as \x20.
            QString name = link.fileName();
            for (qsizetype at = name.indexOf(u"\\x"); at >= 0 && at + 4 <= name.size();
                 at = name.indexOf(u"\\x", at + 1)) {
                bool ok = false;
                const int code = name.mid(at + 2, 2).toInt(&ok, 16);
                if (ok)
                    name.replace(at, 4, QChar(code));
            }
            return name;
        }
    }
    return {};
}

}  // namespace

VolumeProbe ProbeBlockDevice(const QByteArray& device) {
    VolumeProbe result;
    std::unique_ptr<blkid_struct_probe, ProbeDeleter> probe(blkid_new_probe_from_filename(device.constData()));
    if (probe) {
        blkid_probe_enable_superblocks(probe.get(), 1);
        blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
        if (blkid_do_safeprobe(probe.get()) == 0) {
            const QString uuid = ProbeValue(probe.get(), "UUID");
            if (!uuid.isEmpty())
                result.identity = u"uuid:"_s + uuid;
            result.fileSystem = ProbeValue(probe.get(), "TYPE");
            result.label = ProbeValue(probe.get(), "LABEL");
        }
        return result;
    }
    // Ordinary users may not read the device itself.
    QString uuid = CachedTag("UUID", device);
    if (uuid.isEmpty())
        uuid = LinkNameFor(QStringLiteral("/dev/disk/by-uuid"), device);
    if (!uuid.isEmpty())
        result.identity = u"uuid:"_s + uuid;
    result.fileSystem = CachedTag("TYPE", device);
    result.label = CachedTag("LABEL", device);
    if (result.label.isEmpty())
        result.label = LinkNameFor(QStringLiteral("/dev/disk/by-label"), device);
    return result;
}

QByteArray BlockDeviceOf(const MountEntry& mount) {
    if (!mount.source.startsWith("/dev/"))
        return {};
    struct stat st {};
    if (::stat(mount.source.constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return {};
    return mount.source;
}

QString ReadVolumeMarker(int folder) {
    struct stat st {};
    const CUniqueFd file = OpenRegularFile(folder, kVolumeMarkerName, O_NOFOLLOW, &st);
    if (!file.IsValid() || st.st_size > 4096)
        return {};
    char buffer[200];
    qsizetype got = 0;
    while (got < qsizetype(sizeof buffer)) {
        const ssize_t n = ::read(file.Get(), buffer + got, sizeof buffer - std::size_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    const QByteArray line = QByteArray(buffer, got).trimmed();
    static const QByteArray kPrefix = "dovetail-volume ";
    if (!line.startsWith(kPrefix))
        return {};
    const QUuid uuid = QUuid::fromString(QLatin1StringView(line.mid(kPrefix.size())));
    if (uuid.isNull())
        return {};
    return u"marker:"_s + uuid.toString(QUuid::WithoutBraces);
}

QString WriteVolumeMarker(int folder) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray content = "dovetail-volume " + uuid.toLatin1() + '\n';
    // Created in place: some file systems people carry can neither rename over a file nor link
    // one, and the line is written in one call, so a marker is whole or absent.
    CUniqueFd file(::openat(folder, kVolumeMarkerName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file.IsValid())
        return {};
    const ssize_t put = ::write(file.Get(), content.constData(), std::size_t(content.size()));
    int error = put == content.size() ? 0 : put < 0 ? errno : EIO;
    if (error == 0 && ::fsync(file.Get()) != 0 && errno != EINVAL && errno != ENOSYS)
        error = errno;
    if (const int closed = file.Close(); error == 0)
        error = closed;
    if (error != 0) {
        ::unlinkat(folder, kVolumeMarkerName, 0);
        errno = error;
        return {};
    }
    return u"marker:"_s + uuid;
}

bool VolumeRootPlace(const MountEntry& mount, const QByteArray& folderInFs, DeviceRootPlace& out) {
    if (!folderInFs.startsWith('/'))
        return false;
    QByteArrayList parts;
    for (const QByteArray& part : folderInFs.split('/')) {
        if (part == "." || part == "..")
            return false;
        if (!part.isEmpty())
            parts.append(part);
    }
    QByteArrayList shown;
    for (const QByteArray& part : mount.root.split('/')) {
        if (!part.isEmpty())
            shown.append(part);
    }
    if (parts.size() < shown.size() || parts.mid(0, shown.size()) != shown)
        return false;
    out = DeviceRootPlace();
    out.base = mount.mountPoint;
    out.below = parts.mid(shown.size()).join('/');
    out.mountId = mount.id;
    out.device = makedev(mount.major, mount.minor);
    return true;
}

VolumeProbe CVolumeLocator::ProbeMount(const MountEntry& mount) {
    const auto key = std::make_tuple(mount.id, mount.major, mount.minor);
    const auto known = m_probes.find(key);
    if (known != m_probes.end())
        return known->second;
    VolumeProbe probe;
    if (const QByteArray device = BlockDeviceOf(mount); !device.isEmpty())
        probe = ProbeBlockDevice(device);
    m_probes.emplace(key, probe);
    return probe;
}

bool CVolumeLocator::FoldsCase(const MountEntry& mount) {
    static const QList<QByteArray> kinds{"vfat", "msdos", "exfat", "fuse.fusefat", "fuse.exfat"};
    if (kinds.contains(mount.fsType))
        return true;
    const QString probed = ProbeMount(mount).fileSystem;
    return probed == u"vfat"_s || probed == u"exfat"_s;
}

std::optional<VolumeLocation> CVolumeLocator::Locate(const AdoptedVolume& volume,
                                                     const std::vector<MountEntry>& table) {
    const bool byMarker = volume.identity.startsWith(u"marker:");
    const QByteArray folder = QFile::encodeName(volume.folder);
    for (const MountEntry& mount : table) {
        // Nothing else is opened: a network server that is down would block the engine.
        if (!IsCandidateFileSystem(mount.fsType))
            continue;
        // The store's folder is anybody's text: it must name a plain folder the mount shows.
        DeviceRootPlace place;
        if (!VolumeRootPlace(mount, folder, place))
            continue;
        const QByteArray host = place.below.isEmpty()     ? mount.mountPoint
                                : mount.mountPoint == "/" ? '/' + place.below
                                                          : mount.mountPoint + '/' + place.below;
        // The folder must be reached through this mount, not hidden by another one.
        if (MountOfPath(table, host) != &mount)
            continue;
        CDeviceDir root;
        if (OpenDeviceRoot(place, root) != 0)
            continue;
        const QString found = byMarker ? ReadVolumeMarker(root.Fd()) : ProbeMount(mount).identity;
        if (found != volume.identity)
            continue;
        place.foldsCase = FoldsCase(mount);
        return VolumeLocation{mount, host, place};
    }
    return std::nullopt;
}

std::optional<CVolumeLocator::Handheld> CVolumeLocator::ChooseHandheld(const std::vector<AdoptedVolume>& volumes,
                                                                       const std::vector<MountEntry>& table,
                                                                       const QString& keepId, int keepMount) {
    // A mount keeps its file system, so what a probe found stays true while the mount stays:
    // probing again at every change of the table (any mount anywhere) read a device while it
    // was being written, and a probe that failed then looked like the handheld going away.
    // Failed probes are tried again; mounts gone are forgotten.
    std::erase_if(m_probes, [&table](const auto& known) {
        const auto& [key, probe] = known;
        return probe.identity.isEmpty() || std::none_of(table.begin(), table.end(), [&key](const MountEntry& m) {
                   return std::make_tuple(m.id, m.major, m.minor) == key;
               });
    });
    std::optional<Handheld> best;
    std::size_t bestIndex = table.size();
    for (const AdoptedVolume& volume : volumes) {
        std::optional<VolumeLocation> where = Locate(volume, table);
        if (!where)
            continue;
        if (volume.id == keepId && where->mount.id == keepMount)
            return Handheld{volume, std::move(*where)};
        std::size_t index = 0;
        while (index < table.size() && table[index].id != where->mount.id)
            ++index;
        if (!best || index < bestIndex) {
            best = Handheld{volume, std::move(*where)};
            bestIndex = index;
        }
    }
    return best;
}

bool ConnectedVolumeRoot(DeviceRootPlace& root) {
    CMountTable mounts;
    std::vector<MountEntry> table;
    std::vector<AdoptedVolume> volumes;
    if (!mounts.Read(table) || !ReadAdoptedVolumes(volumes))
        return false;
    const std::optional<CVolumeLocator::Handheld> handheld = CVolumeLocator().ChooseHandheld(volumes, table);
    if (!handheld)
        return false;
    root = handheld->where.root;
    return true;
}

QString VolumeLabelOf(const VolumeProbe& probe, const QByteArray& fsType) {
    if (!probe.label.isEmpty())
        return probe.label;
    return probe.fileSystem.isEmpty() ? QString::fromUtf8(fsType) : probe.fileSystem;
}

uint64_t FileSystemSize(int fd) {
    struct statvfs info {};
    if (::fstatvfs(fd, &info) != 0)
        return 0;
    return uint64_t(info.f_blocks) * info.f_frsize;
}

bool DescribeAdoptedVolume(uint32_t high, uint32_t low, VolumeDescription& out) {
    CMountTable mounts;
    std::vector<MountEntry> table;
    std::vector<AdoptedVolume> volumes;
    if (!mounts.Read(table) || !ReadAdoptedVolumes(volumes))
        return false;
    CVolumeLocator locator;
    for (const AdoptedVolume& volume : volumes) {
        if (volume.high != high || volume.low != low)
            continue;
        const std::optional<VolumeLocation> where = locator.Locate(volume, table);
        if (!where)
            return false;
        // A volume without a block device (FUSE) is recorded by its type, as adopting does.
        const QByteArray device = BlockDeviceOf(where->mount);
        out.label = device.isEmpty() ? QString::fromUtf8(where->mount.fsType)
                                     : VolumeLabelOf(locator.ProbeMount(where->mount), where->mount.fsType);
        out.mountPoint = QFile::decodeName(where->mount.mountPoint);
        CDeviceDir root;
        out.size = OpenDeviceRoot(where->root, root) == 0 ? FileSystemSize(root.Fd()) : 0;
        out.adoptedLabel = volume.label;
        out.adoptedSize = volume.size;
        return true;
    }
    return false;
}
