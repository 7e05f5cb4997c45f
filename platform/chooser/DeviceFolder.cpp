// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/chooser/DeviceFolder.h"

#include "platform/converter/EpocText.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "platform/registry/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

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
    QString root;
    if (UsesVolumeEngine())
        return ConnectedVolumeFolder(root) && Open(root);
    if (!CRegistry::Default().GetString(RegRoot::LocalMachine, u"Software\\Veroz\\PsiWin32\\Simulator"_s,
                                        u"DeviceRoot"_s, root))
        return false;
    return Open(root);
}

bool CDeviceFolder::Open(const QString& root) {
    m_root.clear();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return false;
    m_root = QDir(root).absolutePath();
    return true;
}

QList<QChar> CDeviceFolder::Drives() const {
    QList<QChar> drives;
    if (m_root.isEmpty())
        return drives;
    const QFileInfoList entries = QDir(m_root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& e : entries) {
        const QString name = e.fileName();
        if (name.size() == 1 && name.at(0).isLetter() && name.at(0).unicode() < 0x80 && !e.isSymLink()) {
            const QChar letter = name.at(0).toUpper();
            if (!drives.contains(letter))
                drives.append(letter);
        }
    }
    std::sort(drives.begin(), drives.end());
    return drives;
}

namespace {

// The entry of dir named like name: the exact spelling if present, else the first that
// matches ignoring case. Links and dot-files are never returned.
std::optional<QFileInfo> Lookup(const QString& dir, const QString& name) {
    const QFileInfo exact(dir + u'/' + name);
    if (!name.startsWith(u'.') && exact.exists() && !exact.isSymLink())
        return exact;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& e : entries) {
        if (!e.isSymLink() && !e.fileName().startsWith(u'.') && e.fileName().compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    return std::nullopt;
}

}  // namespace

std::optional<QStringList> CDeviceFolder::FindFolder(QChar drive, const QStringList& folders) const {
    if (m_root.isEmpty())
        return std::nullopt;
    const auto driveDir = Lookup(m_root, QString(drive));
    if (!driveDir || !driveDir->isDir())
        return std::nullopt;
    QString host = driveDir->absoluteFilePath();
    QStringList actual;
    for (const QString& part : folders) {
        if (!IsValidEpocName(part))
            return std::nullopt;
        const auto entry = Lookup(host, part);
        if (!entry || !entry->isDir())
            return std::nullopt;
        actual.append(entry->fileName());
        host = entry->absoluteFilePath();
    }
    return actual;
}

QString CDeviceFolder::HostPath(QChar drive, const QStringList& folders, const QString& name) const {
    const auto driveDir = Lookup(m_root, QString(drive));
    QString host = driveDir ? driveDir->absoluteFilePath() : m_root + u'/' + drive;
    for (const QString& part : folders)
        host += u'/' + part;
    if (!name.isEmpty())
        host += u'/' + name;
    return host;
}

std::vector<DeviceEntry> CDeviceFolder::List(QChar drive, const QStringList& folders) const {
    std::vector<DeviceEntry> entries;
    if (m_root.isEmpty())
        return entries;
    const QFileInfoList infos =
        QDir(HostPath(drive, folders)).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& e : infos) {
        if (e.isSymLink() || e.fileName().startsWith(u'.') || !IsValidEpocName(e.fileName()))
            continue;
        entries.push_back({e.fileName(), e.isDir()});
    }
    std::sort(entries.begin(), entries.end(), [](const DeviceEntry& a, const DeviceEntry& b) {
        if (a.isFolder != b.isFolder)
            return a.isFolder;
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

std::optional<DeviceEntry> CDeviceFolder::Find(QChar drive, const QStringList& folders, const QString& name) const {
    if (m_root.isEmpty() || !IsValidEpocName(name))
        return std::nullopt;
    const auto entry = Lookup(HostPath(drive, folders), name);
    if (!entry)
        return std::nullopt;
    return DeviceEntry{entry->fileName(), entry->isDir()};
}

void CDeviceFolder::ReadFileType(const QString& hostPath, uint32_t& uid1, uint32_t& uid2, uint32_t& uid3) const {
    uid1 = uid2 = uid3 = 0;
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray header = file.read(kEpocFileHeaderSize);
    uint32_t a = 0, b = 0, c = 0;
    if (ReadEpocFileHeader(header, a, b, c)) {
        uid1 = a;
        uid2 = b;
        uid3 = c;
    }
}
