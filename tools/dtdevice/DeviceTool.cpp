// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dtdevice/DeviceTool.h"

#include "platform/base/UniqueFd.h"
#include "platform/engine/DevicePath.h"
#include "platform/engine/MountTable.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "platform/registry/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kUsersKey = u"Software\\Veroz\\Users"_s;

DeviceToolResult Done(const QString& message) {
    return {0, message};
}
DeviceToolResult Failed(const QString& message) {
    return {1, message};
}
DeviceToolResult BadArguments(const QString& message) {
    return {2, message};
}

DeviceToolResult RegistryFailed() {
    const CRegistry& registry = CRegistry::Default();
    QString reason = registry.LastError();
    if (reason.isEmpty())
        reason = RegistryUnusableMessage(registry.Path());
    return Failed(u"could not use the registry: "_s + reason);
}

QString Quoted(const QString& text) {
    return u'"' + text + u'"';
}

QString Native(const QByteArray& path) {
    return QFile::decodeName(path);
}

QStringList KnownUsers() {
    QStringList users;
    CRegistry& registry = CRegistry::Default();
    for (int i = 0;; ++i) {
        QString name;
        if (registry.EnumSubKey(RegRoot::CurrentUser, kUsersKey, i, name) != RegStatus::Ok)
            break;
        users.append(name);
    }
    return users;
}

// A disk the user can carry away: marked removable, on USB or a card reader, or a loop
// device (an image file, which is how volumes are tried out and tested).
bool IsRemovableDevice(const QByteArray& device) {
    struct stat st {};
    if (::stat(device.constData(), &st) != 0)
        return false;
    const QString link = u"/sys/dev/block/%1:%2"_s.arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    const QString sys = QFileInfo(link).canonicalFilePath();
    if (sys.isEmpty())
        return false;
    if (sys.contains(u"/virtual/block/loop"_s) || sys.contains(u"/usb"_s) || sys.contains(u"/mmc"_s) ||
        sys.contains(u"/memstick"_s))
        return true;
    // A partition's flag is its disk's.
    const QString disk = QFileInfo::exists(sys + u"/partition"_s) ? QFileInfo(sys).path() : sys;
    QFile removable(disk + u"/removable"_s);
    return removable.open(QIODevice::ReadOnly) && removable.readAll().trimmed() == "1";
}

struct VolumeOfFolder {
    MountEntry mount;
    QString identity;  // empty: a marker is to be written
    QString label;
    QString error;
};

// What volume a canonical folder is on, and how it is recognised; error says why it cannot
// be a handheld.
VolumeOfFolder ExamineFolder(const QByteArray& folder) {
    VolumeOfFolder result;
    CMountTable mounts;
    std::vector<MountEntry> table;
    if (!mounts.Read(table)) {
        result.error = u"cannot read the mount table /proc/self/mountinfo"_s;
        return result;
    }
    const MountEntry* mount = MountOfPath(table, folder);
    if (!mount) {
        result.error = Native(folder) + u" is on no mounted file system"_s;
        return result;
    }
    result.mount = *mount;
    const QString where = Native(folder);
    const QString type = QString::fromUtf8(mount->fsType);
    if (mount->mountPoint == "/") {
        result.error = where +
                       u" is on the system's own file system, not on a removable volume; mount the "_s
                       u"volume and give a folder on it"_s;
        return result;
    }
    if (IsVirtualFileSystem(mount->fsType) || IsNetworkFileSystem(mount->fsType)) {
        result.error = where + u" is on a "_s + type + u" file system, not on a removable or identifiable volume"_s;
        return result;
    }
    const QByteArray device = BlockDeviceOf(*mount);
    if (!device.isEmpty()) {
        if (!IsRemovableDevice(device)) {
            result.error = where + u" is on "_s + Native(device) + u", a fixed disk, not a removable volume"_s;
            return result;
        }
        const VolumeProbe probe = ProbeBlockDevice(device);
        result.identity = probe.identity;
        result.label = VolumeLabelOf(probe, mount->fsType);
        return result;  // a file system without UUID or serial gets a marker
    }
    if (!mount->fsType.startsWith("fuse")) {
        result.error = where + u" is on "_s + type + u" ("_s + QString::fromUtf8(mount->source) +
                       u"), which is not a removable or identifiable volume"_s;
        return result;
    }
    result.label = type;
    return result;
}

// Creates the folder name in parent when missing and opens it, never through a link: a stick
// that has been in other hands may hold one where C or C/Documents belongs. shown names it in
// the message that says why it cannot be used.
QString MakeFolderAt(int parent, const char* name, dev_t device, const QString& shown, CUniqueFd& out) {
    if (::mkdirat(parent, name, 0777) != 0 && errno != EEXIST)
        return u"cannot create "_s + shown + u": "_s + QString::fromLocal8Bit(std::strerror(errno));
    out.Reset(::openat(parent, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!out.IsValid() || ::fstat(out.Get(), &st) != 0)
        return u"cannot open "_s + shown + u": "_s + QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISLNK(st.st_mode))
        return shown + u" is a link; dtdevice never follows links on a volume: remove it and adopt again"_s;
    if (!S_ISDIR(st.st_mode))
        return shown + u" is not a folder: remove it and adopt again"_s;
    if (st.st_dev != device)
        return shown + u" is another file system mounted on the volume"_s;
    return {};
}

// The first folder of path, from the volume's mount point down, that is a link on the volume
// itself; empty when there is none. Links on the PC's own disks (a /media that leads to
// /run/media) are the PC's layout and are followed.
QByteArray LinkOnVolume(const QByteArray& path, dev_t device) {
    QByteArray prefix;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty())
            continue;
        prefix += '/' + part;
        struct stat st {};
        if (::lstat(prefix.constData(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_dev == device)
            return prefix;
    }
    return {};
}

struct AdoptedFolder {
    CUniqueFd fd;  // the folder, O_PATH, on the volume
    QByteArray canonical;
    dev_t device = 0;
    VolumeOfFolder volume;
};

// Finds the folder given (created when its parent is on a volume) and opens it on its volume;
// the error says why it cannot be a handheld.
QString OpenAdoptedFolder(const QByteArray& given, AdoptedFolder& out) {
    const qsizetype slash = given.lastIndexOf('/');
    const QByteArray parentText = slash > 0 ? given.left(slash) : QByteArray("/");
    const QByteArray name = given.mid(slash + 1);
    struct stat st {};
    const bool exists = ::lstat(given.constData(), &st) == 0;
    // The folder exists: it is judged itself. It is new: its parent must be on a volume.
    const QByteArray examined = exists || name.isEmpty() ? given : parentText;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(examined.constData(), nullptr), &std::free);
    if (!real) {
        if (!exists)
            return u"the folder "_s + Native(parentText) + u" does not exist"_s;
        return u"cannot use "_s + Native(given) + u": "_s + QString::fromLocal8Bit(std::strerror(errno));
    }
    const QByteArray canonical(real.get());
    if (exists && !S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode))
        return Native(given) + u" is not a folder"_s;
    if (exists && S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (::stat(given.constData(), &target) != 0 || !S_ISDIR(target.st_mode))
            return Native(given) + u" is not a folder"_s;
    }
    out.volume = ExamineFolder(canonical);
    if (!out.volume.error.isEmpty())
        return out.volume.error;
    const MountEntry& mount = out.volume.mount;
    CUniqueFd examinedFd(::open(canonical.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat examinedStat {};
    if (!examinedFd.IsValid() || ::fstat(examinedFd.Get(), &examinedStat) != 0 ||
        !DescriptorIsOnMount(examinedFd.Get(), mount.id, makedev(mount.major, mount.minor)))
        return u"cannot open "_s + Native(canonical) + u" on its volume"_s;
    out.device = examinedStat.st_dev;
    const QByteArray link = LinkOnVolume(given, out.device);
    if (!link.isEmpty())
        return Native(link) + u" is a link; dtdevice never follows links on a volume: give the folder itself"_s;
    if (exists || name.isEmpty()) {
        out.fd = std::move(examinedFd);
        out.canonical = canonical;
        return {};
    }
    const QByteArray nameText = name;
    if (QString error = MakeFolderAt(examinedFd.Get(), nameText.constData(), out.device, Native(given), out.fd);
        !error.isEmpty())
        return error;
    out.canonical = canonical == "/" ? '/' + name : canonical + '/' + name;
    return {};
}

std::optional<AdoptedVolume> FindVolume(const std::vector<AdoptedVolume>& volumes, const QString& id) {
    for (const AdoptedVolume& v : volumes) {
        if (v.id.compare(id, Qt::CaseInsensitive) == 0)
            return v;
    }
    return std::nullopt;
}

}  // namespace

QString CDeviceTool::Usage() {
    return u"usage: dtdevice adopt FOLDER --owner USER   (FOLDER on a mounted removable volume)\n"
           u"       dtdevice list\n"
           u"       dtdevice forget ID\n"
           u"       dtdevice use volume | simulator   (which handheld the suite reaches)"_s;
}

DeviceToolResult CDeviceTool::Run(const QStringList& arguments) {
    if (arguments.isEmpty())
        return BadArguments(u"no command given"_s);
    const QString& command = arguments[0];
    const QStringList rest = arguments.mid(1);
    if (command == u"adopt"_s)
        return Adopt(rest);
    if (command == u"list"_s) {
        if (!rest.isEmpty())
            return BadArguments(u"list takes no arguments"_s);
        return List();
    }
    if (command == u"forget"_s)
        return Forget(rest);
    if (command == u"use"_s)
        return Use(rest);
    if (command == u"help"_s || command == u"--help"_s || command == u"-h"_s)
        return Done(Usage());
    return BadArguments(u"unknown command "_s + Quoted(command));
}

DeviceToolResult CDeviceTool::Adopt(const QStringList& args) {
    QString folderArg;
    QString owner;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--owner"_s) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return BadArguments(u"--owner needs a user name"_s);
            if (!owner.isEmpty())
                return BadArguments(u"--owner is given twice"_s);
            owner = args[++i];
        } else if (args[i].startsWith(u"--"_s) || !folderArg.isEmpty()) {
            return BadArguments(u"unexpected argument "_s + Quoted(args[i]));
        } else {
            folderArg = args[i];
        }
    }
    if (folderArg.isEmpty())
        return BadArguments(u"adopt needs a FOLDER"_s);
    if (owner.isEmpty())
        return BadArguments(u"adopt needs --owner USER"_s);

    CRegistry& registry = CRegistry::Default();
    if (owner.contains(u'\\') || !registry.KeyExists(RegRoot::CurrentUser, kUsersKey + u'\\' + owner)) {
        const QStringList users = KnownUsers();
        return Failed(
            u"no user "_s + Quoted(owner) + u" is known"_s +
            (users.isEmpty() ? u" (there are no users yet)"_s : u"; the users are: "_s + users.join(u", "_s)));
    }
    // The folder as given, made absolute without resolving anything: links in it are judged below.
    const QByteArray given = QFile::encodeName(QDir::cleanPath(QDir::current().absoluteFilePath(folderArg)));
    AdoptedFolder opened;
    if (const QString error = OpenAdoptedFolder(given, opened); !error.isEmpty())
        return Failed(error);
    const QByteArray& folder = opened.canonical;
    const VolumeOfFolder& volume = opened.volume;
    if (::access(folder.constData(), W_OK) != 0)
        return Failed(u"cannot write into "_s + Native(folder) + u" (is the volume read-only?)"_s);

    std::vector<AdoptedVolume> adopted;
    if (!ReadAdoptedVolumes(adopted))
        return RegistryFailed();
    QString identity = volume.identity;
    if (identity.isEmpty())
        identity = ReadVolumeMarker(opened.fd.Get());  // adopted before and forgotten: same handheld again
    for (const AdoptedVolume& other : adopted) {
        const bool sameVolume = !identity.isEmpty() && other.identity == identity;
        if (sameVolume)
            return Failed(u"this volume is already adopted as "_s + other.id + u" for "_s + other.owner +
                          u" (folder "_s + other.folder + u" on it); run \"dtdevice forget "_s + other.id +
                          u"\" first to adopt it again"_s);
    }

    const QString documents = Native(folder) + u"/C/Documents"_s;
    CUniqueFd drive;
    CUniqueFd documentsFolder;
    if (QString error = MakeFolderAt(opened.fd.Get(), "C", opened.device, Native(folder) + u"/C"_s, drive);
        !error.isEmpty())
        return Failed(error);
    if (QString error = MakeFolderAt(drive.Get(), "Documents", opened.device, documents, documentsFolder);
        !error.isEmpty())
        return Failed(error);
    if (identity.isEmpty()) {
        identity = WriteVolumeMarker(opened.fd.Get());
        if (identity.isEmpty()) {
            const QString marker = Native(folder) + u'/' + QString::fromLatin1(kVolumeMarkerName);
            if (errno == EEXIST)
                return Failed(u"cannot write the marker file "_s + marker +
                              u": something that is not a marker is in its place (a link, a named pipe or another "_s
                              u"file); remove it and adopt again"_s);
            return Failed(u"cannot write the marker file "_s + marker + u" that identifies this volume"_s);
        }
    }

    uint32_t high = 0;
    uint32_t low = 0;
    MachineIdForIdentity(identity, high, low);
    const QString id = MachineIdText(high, low);
    const QString key = VolumeConfig::VolumesKey() + u'\\' + id;
    const QString inFs = Native(FolderInFsOf(volume.mount, folder));
    // Recorded so that a run can tell a second stick cloned from this one (same identity) by it.
    const uint64_t size = FileSystemSize(opened.fd.Get());
    const RegStatus status = registry.Transaction([&] {
        return registry.SetString(RegRoot::LocalMachine, key, VolumeConfig::Identity(), identity) &&
               registry.SetString(RegRoot::LocalMachine, key, VolumeConfig::Folder(), inFs) &&
               registry.SetString(RegRoot::LocalMachine, key, VolumeConfig::Owner(), owner) &&
               registry.SetString(RegRoot::LocalMachine, key, VolumeConfig::Label(), volume.label) &&
               (size == 0 ||
                registry.SetString(RegRoot::LocalMachine, key, VolumeConfig::Size(), QString::number(size))) &&
               registry.CreateKey(RegRoot::CurrentUser, kUsersKey + u'\\' + owner + u"\\Machines\\"_s + id) ==
                   RegStatus::Ok &&
               registry.SetString(RegRoot::LocalMachine, VolumeConfig::SuiteKey(), VolumeConfig::HandheldValue(),
                                  VolumeConfig::HandheldVolume());
    });
    if (status != RegStatus::Ok)
        return RegistryFailed();
    return Done(u"Adopted volume "_s + id + u" ("_s + volume.label + u", "_s + identity + u") for "_s + owner +
                u": C:\\Documents is "_s + documents + u"\nThe suite now reaches removable volumes as its handheld"_s);
}

DeviceToolResult CDeviceTool::List() {
    std::vector<AdoptedVolume> volumes;
    if (!ReadAdoptedVolumes(volumes))
        return RegistryFailed();
    QStringList lines;
    lines.append(UsesVolumeEngine()
                     ? u"The suite reaches removable volumes as its handheld."_s
                     : u"The suite reaches the simulated handheld (\"dtdevice use volume\" changes it)."_s);
    if (volumes.empty()) {
        lines.append(u"No volume is adopted."_s);
        return Done(lines.join(u'\n'));
    }
    CMountTable mounts;
    std::vector<MountEntry> table;
    mounts.Read(table);
    CVolumeLocator locator;
    for (const AdoptedVolume& v : volumes) {
        const std::optional<VolumeLocation> where = locator.Locate(v, table);
        const QString state = where ? u"connected, at "_s + Native(where->hostFolder) : u"not connected"_s;
        lines.append(
            u"%1  owner %2  %3 (%4)  folder %5  %6"_s.arg(v.id, v.owner, v.label, v.identity, v.folder, state));
    }
    return Done(lines.join(u'\n'));
}

DeviceToolResult CDeviceTool::Forget(const QStringList& args) {
    if (args.size() != 1)
        return BadArguments(u"expected \"forget ID\""_s);
    std::vector<AdoptedVolume> volumes;
    if (!ReadAdoptedVolumes(volumes))
        return RegistryFailed();
    const std::optional<AdoptedVolume> volume = FindVolume(volumes, args[0]);
    if (!volume)
        return Failed(u"no adopted volume has the id "_s + Quoted(args[0]) + u" (\"dtdevice list\" shows them)"_s);
    CRegistry& registry = CRegistry::Default();
    const QString machineKey = kUsersKey + u'\\' + volume->owner + u"\\Machines\\"_s + volume->id;
    const RegStatus status = registry.Transaction([&] {
        if (registry.DeleteTree(RegRoot::LocalMachine, VolumeConfig::VolumesKey() + u'\\' + volume->id) !=
            RegStatus::Ok)
            return false;
        if (!registry.KeyExists(RegRoot::CurrentUser, machineKey))
            return true;
        return registry.DeleteTree(RegRoot::CurrentUser, machineKey) == RegStatus::Ok;
    });
    if (status != RegStatus::Ok)
        return RegistryFailed();
    return Done(u"Forgot volume "_s + volume->id + u" of "_s + volume->owner + u"; the files on it stay as they are"_s);
}

DeviceToolResult CDeviceTool::Use(const QStringList& args) {
    if (args.size() != 1)
        return BadArguments(u"expected \"use volume\" or \"use simulator\""_s);
    QString kind;
    if (args[0].compare(u"volume"_s, Qt::CaseInsensitive) == 0)
        kind = VolumeConfig::HandheldVolume();
    else if (args[0].compare(u"simulator"_s, Qt::CaseInsensitive) == 0)
        kind = VolumeConfig::HandheldSimulator();
    else
        return BadArguments(u"expected \"use volume\" or \"use simulator\""_s);
    if (!CRegistry::Default().SetString(RegRoot::LocalMachine, VolumeConfig::SuiteKey(), VolumeConfig::HandheldValue(),
                                        kind))
        return RegistryFailed();
    return Done(kind == VolumeConfig::HandheldVolume() ? u"The suite now reaches removable volumes as its handheld"_s
                                                       : u"The suite now reaches the simulated handheld"_s);
}

QString CDeviceTool::VolumeRefusal(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return u"the folder "_s + folder + u" does not exist"_s;
    return ExamineFolder(QFile::encodeName(canonical)).error;
}
