// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dtwelcome/SuiteSetUp.h"

#include "common/Profile.h"
#include "common/ProfileRegistry.h"
#include "common/VersionInfo.h"
#include "platform/engine/MountTable.h"
#include "platform/engine/SimulatorConfig.h"
#include "platform/engine/VolumeConfig.h"
#include "platform/engine/VolumeIdentity.h"
#include "platform/registry/Registry.h"
#include "tools/dtdevice/DeviceTool.h"
#include "tools/epocsim/SimTool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kChooserFile = u"ecfile.ocx"_s;
const QString kShellOpenKey = u"CLSID\\{F7F79B30-BA87-11d2-AA80-00C04F7199CF}\\shell\\open\\command"_s;
// The simulated handheld the set-up makes; any id would do, it only has to be the same in
// the simulator's key and the owner's "Machines".
const QString kSimulatorId = u"D07E-7A11"_s;

QString ExistingProgram(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? path : QString();
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool SimulatorReadyFor(const QString& user) {
    CRegistry& registry = CRegistry::Default();
    QString root;
    uint32_t high = 0;
    uint32_t low = 0;
    if (!registry.GetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), root) ||
        root.isEmpty())
        return false;
    registry.GetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdHigh(), high);
    registry.GetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::MachineIdLow(), low);
    return registry.KeyExists(RegRoot::CurrentUser,
                              u"Software\\Veroz\\Users\\"_s + user + u"\\Machines\\"_s + MachineIdText(high, low));
}

SetUpResult Refused(const QString& message) {
    return {false, message};
}

// The commands report a failure as "could not ..."; the window shows it as one sentence.
QString Sentence(QString text) {
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

// Where each adopted volume is mounted now, by mount point.
struct LocatedVolume {
    AdoptedVolume volume;
    QString mountPoint;
    QString hostFolder;
};
std::vector<LocatedVolume> LocateAdopted() {
    std::vector<LocatedVolume> located;
    std::vector<AdoptedVolume> adopted;
    if (!ReadAdoptedVolumes(adopted))
        return located;
    CMountTable mounts;
    std::vector<MountEntry> table;
    mounts.Read(table);
    CVolumeLocator locator;
    for (const AdoptedVolume& volume : adopted) {
        LocatedVolume entry{volume, {}, {}};
        if (const std::optional<VolumeLocation> where = locator.Locate(volume, table)) {
            entry.mountPoint = QFile::decodeName(where->mount.mountPoint);
            entry.hostFolder = QFile::decodeName(where->hostFolder);
        }
        located.push_back(entry);
    }
    return located;
}

std::optional<LocatedVolume> AdoptedAt(const QString& mountPoint) {
    for (const LocatedVolume& entry : LocateAdopted()) {
        if (!entry.mountPoint.isEmpty() && entry.mountPoint == mountPoint)
            return entry;
    }
    return std::nullopt;
}

// Why the volume at mountPoint cannot become user's handheld; empty when it can.
QString VolumeProblem(const QString& mountPoint, const QString& user) {
    if (mountPoint.isEmpty())
        return u"Plug your USB stick in and choose it, or choose the simulated handheld."_s;
    if (!QFileInfo(mountPoint).isDir())
        return u"The volume at "_s + mountPoint + u" is no longer mounted."_s;
    if (const QString refusal = CDeviceTool::VolumeRefusal(mountPoint); !refusal.isEmpty())
        return Sentence(refusal);
    if (const std::optional<LocatedVolume> adopted = AdoptedAt(mountPoint);
        adopted && !SameName(adopted->volume.owner, user))
        return u"The volume at "_s + mountPoint + u" is already the handheld of "_s + adopted->volume.owner +
               u"; forget it first to adopt it for "_s + user + u'.';
    return {};
}

}  // namespace

SuiteState ReadSuiteState() {
    SuiteState state;
    QString folder;
    if (GetEpocConnectDirectory(folder) && !folder.isEmpty() && QFileInfo(folder + kChooserFile).isFile())
        state.suiteFolder = folder;
    QString user;
    if (GetCurrentUser(user) && !user.isEmpty()) {
        state.user = user;
        QString pc;
        if (GetUserPCDirectory(user, pc))
            state.pcFolder = pc;
    }
    state.usesVolumes = UsesVolumeEngine();
    if (!state.user.isEmpty()) {
        if (state.usesVolumes) {
            std::vector<AdoptedVolume> adopted;
            ReadAdoptedVolumes(adopted);
            for (const AdoptedVolume& volume : adopted)
                state.handheldReady = state.handheldReady || SameName(volume.owner, state.user);
        } else {
            state.handheldReady = SimulatorReadyFor(state.user);
        }
    }
    state.synchronizer = ExistingProgram(CAppProfile().GetProfileString(QString(), u"SyncronizerPath"_s));
    QString manager;
    if (RegReadString(HKEY_CLASSES_ROOT, kShellOpenKey, QString(), manager))
        state.manager = ExistingProgram(manager);
    return state;
}

QString LoginName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

QString DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

std::vector<MountedVolume> MountedVolumes() {
    std::vector<MountedVolume> volumes;
    CMountTable mounts;
    std::vector<MountEntry> table;
    if (!mounts.Read(table))
        return volumes;
    const std::vector<LocatedVolume> adopted = LocateAdopted();
    for (const MountEntry& mount : table) {
        // Never touched otherwise: a network server that is down would freeze the window.
        if (mount.mountPoint == "/" || !IsCandidateFileSystem(mount.fsType))
            continue;
        // Read-only mounts (packages, discs) could never take documents.
        if (::access(mount.mountPoint.constData(), W_OK) != 0)
            continue;
        const QString mountPoint = QFile::decodeName(mount.mountPoint);
        if (!CDeviceTool::VolumeRefusal(mountPoint).isEmpty())
            continue;
        MountedVolume volume;
        volume.mountPoint = mountPoint;
        volume.label = QFileInfo(mountPoint).fileName();
        for (const LocatedVolume& entry : adopted) {
            if (entry.mountPoint == mountPoint) {
                volume.adoptedId = entry.volume.id;
                volume.adoptedOwner = entry.volume.owner;
            }
        }
        volumes.push_back(volume);
    }
    return volumes;
}

std::vector<AdoptedHandheld> AdoptedHandhelds() {
    std::vector<AdoptedHandheld> handhelds;
    for (const LocatedVolume& entry : LocateAdopted())
        handhelds.push_back({entry.volume.id, entry.volume.owner, entry.volume.label, entry.hostFolder});
    return handhelds;
}

QString CheckUserName(const QString& name) {
    if (name.isEmpty())
        return u"Give your name."_s;
    if (name != name.trimmed())
        return u"The name may not start or end with a blank."_s;
    if (name.contains(u'\\') || name.contains(u'/'))
        return u"The name may not contain \"/\" or \"\\\"."_s;
    if (name == u"."_s || name == u".."_s)
        return u"The name may not be \".\" or \"..\"."_s;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return u"The name may not contain control characters."_s;
    }
    if (name.toUtf8().size() > 255)
        return u"The name is longer than 255 bytes."_s;
    return {};
}

QString ResolvePcFolder(const QString& text, QString& why) {
    QString path = text.trimmed();
    if (path.isEmpty()) {
        why = u"Give the folder your documents are in."_s;
        return {};
    }
    if (path == u"~"_s || path.startsWith(u"~/"_s))
        path = QDir::homePath() + path.mid(1);
    if (!QDir::isAbsolutePath(path)) {
        why = u"Give the documents folder as a whole path, such as "_s + DocumentsFolder() + u'.';
        return {};
    }
    path = QDir::cleanPath(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
        why = path + u" is a file, not a folder."_s;
        return {};
    }
    return path;
}

CSuiteSetUp::CSuiteSetUp(QString suiteFiles, QString dataFolder)
    : m_suiteFiles(std::move(suiteFiles)), m_dataFolder(std::move(dataFolder)) {}

SetUpResult CSuiteSetUp::Register(const SetUpRequest& request) const {
    if (const QString problem = CheckUserName(request.userName); !problem.isEmpty())
        return Refused(problem);
    QString why;
    const QString pcFolder = ResolvePcFolder(request.pcFolder, why);
    if (pcFolder.isEmpty())
        return Refused(why);
    if (request.handheld == HandheldKind::None)
        return Refused(VolumeProblem({}, request.userName));
    if (request.handheld == HandheldKind::Volume) {
        if (const QString problem = VolumeProblem(request.volumeMount, request.userName); !problem.isEmpty())
            return Refused(problem);
    }

    const SuiteState state = ReadSuiteState();
    CSimTool sim(m_suiteFiles);
    if (!state.SuiteInstalled()) {
        const SimToolResult installed = sim.Run({u"install"_s, u"--dir"_s, SuiteFolder()});
        if (installed.exitCode != 0)
            return Refused(u"The suite could not be installed: "_s + Sentence(installed.message));
    }
    const SimToolResult user =
        sim.Run({u"user"_s, u"add"_s, request.userName, u"--pc-dir"_s, pcFolder, u"--current"_s});
    if (user.exitCode != 0)
        return Refused(u"You could not be registered: "_s + Sentence(user.message));

    // The handheld's clock is set at every connection unless the user said otherwise, and the
    // first target proposed on the handheld is its documents folder rather than its drive.
    uint32_t syncTime = 0;
    if (!RegReadNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\TASKSCHEDULER"_s, u"SyncTime"_s, syncTime))
        RegWriteNumber(HKEY_CURRENT_USER, u"Software\\Veroz\\TASKSCHEDULER"_s, u"SyncTime"_s, 1);
    const CAppProfile profile;
    if (profile.GetProfileString(u"Settings"_s, u"Last Epoc Path"_s).isEmpty())
        profile.WriteProfileString(u"Settings"_s, u"Last Epoc Path"_s, u"C:\\Documents\\"_s);

    const SetUpResult handheld = request.handheld == HandheldKind::Volume
                                     ? AdoptVolume(request.volumeMount, request.userName)
                                     : UseSimulator(request.userName);
    if (!handheld.ok)
        return handheld;
    return {true, u"Registered "_s + request.userName + u" with the documents folder "_s + pcFolder + u". "_s +
                      handheld.message};
}

SetUpResult CSuiteSetUp::AdoptVolume(const QString& mountPoint, const QString& user) const {
    if (const QString problem = VolumeProblem(mountPoint, user); !problem.isEmpty())
        return Refused(problem);
    CDeviceTool tool;
    if (const std::optional<LocatedVolume> adopted = AdoptedAt(mountPoint)) {
        // Adopted for this user before: it stays the same handheld, with its bindings' files.
        const DeviceToolResult use = tool.Run({u"use"_s, u"volume"_s});
        if (use.exitCode != 0)
            return Refused(Sentence(use.message));
        return {true, u"The volume at "_s + mountPoint + u" is your handheld already."_s};
    }
    const DeviceToolResult adopted = tool.Run({u"adopt"_s, mountPoint + u"/Dovetail"_s, u"--owner"_s, user});
    if (adopted.exitCode != 0)
        return Refused(u"The volume could not be adopted: "_s + Sentence(adopted.message));
    return {true, u"The volume at "_s + mountPoint + u" is your handheld: its folder Dovetail holds C:\\Documents."_s};
}

SetUpResult CSuiteSetUp::UseSimulator(const QString& user) const {
    if (const QString problem = CheckUserName(user); !problem.isEmpty())
        return Refused(problem);
    CRegistry& registry = CRegistry::Default();
    QString root;
    if (!registry.GetString(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::DeviceRoot(), root) ||
        root.isEmpty())
        root = SimulatorFolder();
    if (!SimulatorReadyFor(user)) {
        // Made again over an existing one, the same folder stays the handheld's.
        const SimToolResult created =
            CSimTool(m_suiteFiles)
                .Run({u"device"_s, u"create"_s, u"--root"_s, root, u"--id"_s, kSimulatorId, u"--owner"_s, user});
        if (created.exitCode != 0)
            return Refused(u"The simulated handheld could not be made: "_s + Sentence(created.message));
    }
    const DeviceToolResult use = CDeviceTool().Run({u"use"_s, u"simulator"_s});
    if (use.exitCode != 0)
        return Refused(Sentence(use.message));
    return {true, u"The simulated handheld keeps its drives in "_s + root + u"."_s};
}

SetUpResult CSuiteSetUp::Forget(const QString& id) const {
    const DeviceToolResult forgotten = CDeviceTool().Run({u"forget"_s, id});
    if (forgotten.exitCode != 0)
        return Refused(Sentence(forgotten.message));
    return {true, Sentence(forgotten.message)};
}

QString SetupProgramNear(const QString& programFolder) {
    return QDir::cleanPath(programFolder + u"/../medium/DTSetup"_s);
}

namespace {

// The file at target differs from source's; unreadable counts as differing.
bool Differs(const QString& source, const QString& target) {
    QFile a(source);
    QFile b(target);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return true;
    while (!a.atEnd()) {
        if (a.read(1 << 20) != b.read(1 << 20))
            return true;
    }
    return false;
}

bool ReplaceWhole(const QString& source, const QString& target) {
    QFile in(source);
    QSaveFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty() || out.write(block) != block.size())
            return false;
    }
    out.setPermissions(in.permissions() | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    return out.commit();
}

QString ProductVersion(const QString& program) {
    CVersionInfo info;
    return info.Open(program) ? info.GetString(u"ProductVersion"_s) : QString();
}

}  // namespace

SuiteUpdate UpdateInstalledCopies(const QString& mediumFolder, const QString& suiteFolder, uint32_t language) {
    SuiteUpdate update;
    static const char* const kLanguageFolders[] = {"ENG", "FRA", "DEU", "ESP"};
    const QString languageFolder =
        QString::fromLatin1(kLanguageFolders[language < std::size(kLanguageFolders) ? language : 0]);
    // The install wizard's files and where the medium keeps each.
    const std::pair<QString, QString> files[] = {
        {u"bindcopy"_s, languageFolder}, {u"bindmgr"_s, languageFolder},      {u"bindmgr.hlp"_s, languageFolder},
        {u"DTkTimer"_s, languageFolder}, {u"DOdivEdu.avi"_s, languageFolder}, {u"DTSetup"_s, QString()},
    };
    const QDir medium(mediumFolder);
    const QDir suite(suiteFolder);
    const QString manager = suite.filePath(u"bindmgr"_s);
    update.fromVersion = ProductVersion(manager);
    for (const auto& [name, folder] : files) {
        const QString source = medium.filePath(folder.isEmpty() ? name : folder + u'/' + name);
        const QString target = suite.filePath(name);
        if (!QFileInfo(source).isFile() || !QFileInfo(target).isFile() || !Differs(source, target))
            continue;
        if (!ReplaceWhole(source, target)) {
            update.failed = name;
            break;
        }
        update.updated.append(name);
    }
    update.toVersion = ProductVersion(manager);
    return update;
}

QString DescribeUpdate(const SuiteUpdate& update) {
    QString text;
    if (!update.updated.isEmpty()) {
        text = !update.fromVersion.isEmpty() && !update.toVersion.isEmpty() && update.fromVersion != update.toVersion
                   ? u"Dovetail was updated from version %1 to version %2, the version of the installed package."_s.arg(
                         update.fromVersion, update.toVersion)
                   : u"Dovetail's programs were updated to those of the installed package."_s;
        text += u" Updated: "_s + update.updated.join(u", "_s) + u'.';
    }
    if (!update.failed.isEmpty())
        text += (text.isEmpty() ? QString() : u" "_s) + u"Dovetail's program "_s + update.failed +
                u" could not be updated from the installed package; the earlier version runs until it can be."_s;
    return text;
}
