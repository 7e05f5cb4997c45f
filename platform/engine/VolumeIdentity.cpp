// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/VolumeIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <blkid/blkid.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

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

QString ReadVolumeMarker(const QByteArray& folder) {
    QFile file(QFile::decodeName(folder + '/' + kVolumeMarkerName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = file.read(200).trimmed();
    static const QByteArray kPrefix = "dovetail-volume ";
    if (!line.startsWith(kPrefix))
        return {};
    const QUuid uuid = QUuid::fromString(QLatin1StringView(line.mid(kPrefix.size())));
    if (uuid.isNull())
        return {};
    return u"marker:"_s + uuid.toString(QUuid::WithoutBraces);
}

QString WriteVolumeMarker(const QByteArray& folder) {
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSaveFile file(QFile::decodeName(folder + '/' + kVolumeMarkerName));
    // Some file systems people carry cannot rename over a file; the marker is new anyway.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("dovetail-volume " + uuid.toLatin1() + '\n');
    if (!file.commit())
        return {};
    return u"marker:"_s + uuid;
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

std::optional<VolumeLocation> CVolumeLocator::Locate(const AdoptedVolume& volume,
                                                     const std::vector<MountEntry>& table) {
    const bool byMarker = volume.identity.startsWith(u"marker:");
    const QByteArray folder = QFile::encodeName(volume.folder);
    for (const MountEntry& mount : table) {
        if (IsVirtualFileSystem(mount.fsType))
            continue;
        const QByteArray host = HostPathOf(mount, folder);
        if (host.isEmpty())
            continue;
        // The folder must be reached through this mount, not hidden by another one.
        if (MountOfPath(table, host) != &mount)
            continue;
        struct stat st {};
        if (::stat(host.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const QString found = byMarker ? ReadVolumeMarker(host) : ProbeMount(mount).identity;
        if (found != volume.identity)
            continue;
        return VolumeLocation{mount, host};
    }
    return std::nullopt;
}

std::optional<CVolumeLocator::Handheld> CVolumeLocator::ChooseHandheld(const std::vector<AdoptedVolume>& volumes,
                                                                       const std::vector<MountEntry>& table,
                                                                       const QString& keepId, int keepMount) {
    m_probes.clear();
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

bool ConnectedVolumeFolder(QString& folder) {
    CMountTable mounts;
    std::vector<MountEntry> table;
    std::vector<AdoptedVolume> volumes;
    if (!mounts.Read(table) || !ReadAdoptedVolumes(volumes))
        return false;
    const std::optional<CVolumeLocator::Handheld> handheld = CVolumeLocator().ChooseHandheld(volumes, table);
    if (!handheld)
        return false;
    folder = QFile::decodeName(handheld->where.hostFolder);
    return true;
}
