// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// Which handheld the engine reaches, and the removable volumes adopted as handhelds. Kept in
// HKEY_LOCAL_MACHINE beside the suite's other keys; the names are a contract with dtdevice.
namespace VolumeConfig {

inline QString SuiteKey() {
    return QStringLiteral("Software\\Veroz\\PsiWin32");
}
// "Volume" chooses the removable-volume engine; anything else (or nothing) the simulator.
inline QString HandheldValue() {
    return QStringLiteral("Handheld");
}
inline QString HandheldVolume() {
    return QStringLiteral("Volume");
}
inline QString HandheldSimulator() {
    return QStringLiteral("Simulator");
}
// One sub-key per adopted volume, named by its machine id "HIGH-LOW".
inline QString VolumesKey() {
    return QStringLiteral("Software\\Veroz\\PsiWin32\\Volumes");
}
inline QString Identity() {
    return QStringLiteral("Identity");
}
inline QString Folder() {
    return QStringLiteral("Folder");
}
inline QString Owner() {
    return QStringLiteral("Owner");
}
inline QString Label() {
    return QStringLiteral("Label");
}
// The file system's size in bytes when it was adopted, as decimal text; absent for volumes
// adopted before it was recorded.
inline QString Size() {
    return QStringLiteral("Size");
}

}  // namespace VolumeConfig

struct AdoptedVolume {
    QString id;        // machine id text "HIGH-LOW", the sub-key's name
    QString identity;  // "blkid:TYPE:UUID" or "marker:UUID"
    QString folder;    // the handheld's root inside the file system, "/" or "/Dovetail"
    QString owner;
    QString label;      // for people: the volume's label or file system type
    uint64_t size = 0;  // the file system's size in bytes at adoption; 0 when not recorded
    uint32_t high = 0;
    uint32_t low = 0;
};

// True when the configuration chooses the removable-volume engine.
bool UsesVolumeEngine();

// The adopted volumes in the store's key order; false when the store cannot be read. Keys
// that are not whole records are skipped.
bool ReadAdoptedVolumes(std::vector<AdoptedVolume>& out);

// The machine id of an identity: the first eight bytes of its SHA-1, high word first; never 0-0.
void MachineIdForIdentity(const QString& identity, uint32_t& high, uint32_t& low);
QString MachineIdText(uint32_t high, uint32_t low);
