// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/VolumeConfig.h"

#include "platform/registry/Registry.h"

#include <QCryptographicHash>

bool UsesVolumeEngine() {
    QString kind;
    return CRegistry::Default().GetString(RegRoot::LocalMachine, VolumeConfig::SuiteKey(),
                                          VolumeConfig::HandheldValue(), kind) &&
           kind.compare(VolumeConfig::HandheldVolume(), Qt::CaseInsensitive) == 0;
}

bool ReadAdoptedVolumes(std::vector<AdoptedVolume>& out) {
    out.clear();
    CRegistry& registry = CRegistry::Default();
    const QString key = VolumeConfig::VolumesKey();
    bool ok = true;
    const RegStatus status = registry.ReadTransaction([&] {
        if (!registry.KeyExists(RegRoot::LocalMachine, key))
            return;
        for (int i = 0;; ++i) {
            QString name;
            const RegStatus s = registry.EnumSubKey(RegRoot::LocalMachine, key, i, name);
            if (s == RegStatus::NoMoreItems)
                break;
            if (s != RegStatus::Ok) {
                ok = false;
                break;
            }
            AdoptedVolume volume;
            volume.id = name;
            const QString sub = key + u'\\' + name;
            if (!registry.GetString(RegRoot::LocalMachine, sub, VolumeConfig::Identity(), volume.identity) ||
                !registry.GetString(RegRoot::LocalMachine, sub, VolumeConfig::Folder(), volume.folder) ||
                !registry.GetString(RegRoot::LocalMachine, sub, VolumeConfig::Owner(), volume.owner) ||
                volume.identity.isEmpty() || !volume.folder.startsWith(u'/'))
                continue;
            registry.GetString(RegRoot::LocalMachine, sub, VolumeConfig::Label(), volume.label);
            QString size;
            if (registry.GetString(RegRoot::LocalMachine, sub, VolumeConfig::Size(), size))
                volume.size = size.toULongLong();
            MachineIdForIdentity(volume.identity, volume.high, volume.low);
            out.push_back(std::move(volume));
        }
    });
    return ok && status == RegStatus::Ok;
}

void MachineIdForIdentity(const QString& identity, uint32_t& high, uint32_t& low) {
    const QByteArray digest = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha1);
    const auto word = [&digest](int at) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | uint8_t(digest[at + i]);
        return v;
    };
    high = word(0);
    low = word(4);
    if (high == 0 && low == 0)
        low = 1;
}

QString MachineIdText(uint32_t high, uint32_t low) {
    return QStringLiteral("%1-%2").arg(high, 0, 16).arg(low, 0, 16).toUpper();
}
