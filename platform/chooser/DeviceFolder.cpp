// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/DeviceFolder.h"

#include "platform/converter/EpocText.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "platform/registry/Registry.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cctype>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

QString EpocPath::FolderText() const {
    QString text = QString(drive) + u':';
    for (const QString& f : folders)
        text += u'\\' + f;
    return text;
}

QString EpocPath::FullText() const {
    return FolderText() + u'\\' + name;
}

bool IsValidEpocName(const QString& name) {
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?')
            return false;
    }
    return true;
}

bool ParseEpocPath(const QString& text, EpocPath& out, bool allowWildcards) {
    if (text.size() < 2 || text.at(1) != u':' || !text.at(0).isLetter() || text.at(0).unicode() > 0x7F)
        return false;
    EpocPath path;
    path.drive = text.at(0).toUpper();
    if (text.size() > 2) {
        if (text.at(2) != u'\\')
            return false;
        QStringList parts = text.mid(3).split(u'\\');
        path.name = parts.takeLast();
        for (const QString& part : parts) {
            if (!IsValidEpocName(part))
                return false;
        }
        path.folders = parts;
        if (!path.name.isEmpty()) {
            QString check = path.name;
            if (allowWildcards)
                check.replace(u'*', u'x').replace(u'?', u'x');
            if (!IsValidEpocName(check))
                return false;
        }
    }
    out = path;
    return true;
}

bool CDeviceFolder::OpenFromRegistry() {
    m_root.clear();
    if (UsesVolumeEngine()) {
        DeviceRootPlace place;
        return ConnectedVolumeRoot(place) && Open(place);
    }
    QString root;
    if (!CRegistry::Default().GetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Simulator"_s,
                                        u"DeviceRoot"_s, root))
        return false;
    return Open(root);
}

bool CDeviceFolder::Open(const QString& root) {
    m_root.clear();
    if (root.isEmpty())
        return false;
    // Taken as it stands, as the engine takes it: a root it refuses (relative, or with "..") must
    // not be mended here, or files chosen through it would bind paths no copy can reach.
    return Open(SimulatorRootPlace(root));
}

bool CDeviceFolder::Open(const DeviceRootPlace& root) {
    m_root.clear();
    CDeviceDir dir;
    if (OpenDeviceRoot(root, dir) != 0)
        return false;
    m_place = root;
    m_root = QFile::decodeName(dir.HostPath());
    return true;
}

namespace {

bool IsShown(const QByteArray& onDisk) {
    return !onDisk.startsWith('.') && IsValidEpocName(QString::fromUtf8(onDisk)) &&
           QString::fromUtf8(onDisk).toUtf8() == onDisk;
}

// The entry of folder named like name (exact spelling first, else ignoring case); hidden
// dot-files, links and anything but folders and regular files are never found.
std::optional<DeviceEntry> Lookup(const CDeviceDir& folder, const QString& name, QByteArray* onDisk = nullptr) {
    if (!IsValidEpocName(name) || name.startsWith(u'.'))
        return std::nullopt;
    QByteArray found;
    DeviceEntryKind kind = DeviceEntryKind::File;
    if (folder.Lookup(name.toUtf8(), found, kind) != 0 || !IsShown(found))
        return std::nullopt;
    if (onDisk)
        *onDisk = found;
    return DeviceEntry{QString::fromUtf8(found), kind == DeviceEntryKind::Folder};
}

}  // namespace

bool CDeviceFolder::OpenFolder(QChar drive, const QStringList& folders, CDeviceDir& out, QStringList* actual) const {
    if (m_root.isEmpty())
        return false;
    CDeviceDir current;
    if (OpenDeviceRoot(m_place, current) != 0)
        return false;
    const QStringList parts = QStringList{QString(drive)} + folders;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray onDisk;
        const auto entry = Lookup(current, parts[i], &onDisk);
        // Drive folders are single letters; a drive is never a dot-file.
        if (!entry || !entry->isFolder)
            return false;
        CDeviceDir next;
        if (current.OpenFolder(onDisk, next) != 0)
            return false;
        if (actual && i > 0)
            actual->append(entry->name);
        current = std::move(next);
    }
    out = std::move(current);
    return true;
}

QList<QChar> CDeviceFolder::Drives() const {
    QList<QChar> drives;
    CDeviceDir root;
    if (m_root.isEmpty() || OpenDeviceRoot(m_place, root) != 0)
        return drives;
    std::vector<std::pair<QByteArray, DeviceEntryKind>> entries;
    root.List(entries);
    for (const auto& [name, kind] : entries) {
        if (kind != DeviceEntryKind::Folder || name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0])))
            continue;
        const QChar letter = QChar(QLatin1Char(name[0])).toUpper();
        if (!drives.contains(letter))
            drives.append(letter);
    }
    std::sort(drives.begin(), drives.end());
    return drives;
}

std::optional<QStringList> CDeviceFolder::FindFolder(QChar drive, const QStringList& folders) const {
    for (const QString& part : folders) {
        if (!IsValidEpocName(part))
            return std::nullopt;
    }
    CDeviceDir folder;
    QStringList actual;
    if (!OpenFolder(drive, folders, folder, &actual))
        return std::nullopt;
    return actual;
}

std::vector<DeviceEntry> CDeviceFolder::List(QChar drive, const QStringList& folders) const {
    std::vector<DeviceEntry> entries;
    CDeviceDir folder;
    if (!OpenFolder(drive, folders, folder))
        return entries;
    std::vector<std::pair<QByteArray, DeviceEntryKind>> found;
    folder.List(found);
    for (const auto& [name, kind] : found) {
        if (IsShown(name))
            entries.push_back({QString::fromUtf8(name), kind == DeviceEntryKind::Folder});
    }
    std::sort(entries.begin(), entries.end(), [](const DeviceEntry& a, const DeviceEntry& b) {
        if (a.isFolder != b.isFolder)
            return a.isFolder;
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

std::optional<DeviceEntry> CDeviceFolder::Find(QChar drive, const QStringList& folders, const QString& name) const {
    CDeviceDir folder;
    if (!IsValidEpocName(name) || !OpenFolder(drive, folders, folder))
        return std::nullopt;
    return Lookup(folder, name);
}

void CDeviceFolder::ReadFileType(QChar drive, const QStringList& folders, const QString& name, uint32_t& uid1,
                                 uint32_t& uid2, uint32_t& uid3) const {
    uid1 = uid2 = uid3 = 0;
    CDeviceDir folder;
    QByteArray onDisk;
    if (!OpenFolder(drive, folders, folder))
        return;
    const auto entry = Lookup(folder, name, &onDisk);
    CUniqueFd file;
    struct stat st {};
    if (!entry || entry->isFolder || folder.OpenFile(onDisk, file, st) != 0)
        return;
    char buffer[kEpocFileHeaderSize];
    const ssize_t got = ::pread(file.Get(), buffer, sizeof buffer, 0);
    if (got <= 0)
        return;
    uint32_t a = 0, b = 0, c = 0;
    if (ReadEpocFileHeader(QByteArray(buffer, got), a, b, c)) {
        uid1 = a;
        uid2 = b;
        uid3 = c;
    }
}
