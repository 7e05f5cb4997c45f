// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/epocsim/SimTool.h"

#include "platform/engine/SimulatorConfig.h"
#include "platform/registry/Registry.h"
#include "platform/converter/ConverterRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kSuiteKey = u"Software\\Veroz\\PsiWin32"_s;
const QString kAnimationsKey = u"Software\\Veroz\\PsiWin32\\Animations"_s;
const QString kUsersKey = u"Software\\Veroz\\Users"_s;
const QString kCurrentUserKey = u"Software\\Veroz\\CurrentUser"_s;
const QString kShellFoldersKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"_s;
const QString kChooserFile = u"ecfile.ocx"_s;

SimToolResult Done(const QString& message) {
    return {0, message};
}
SimToolResult Failed(const QString& message) {
    return {1, message};
}
SimToolResult BadArguments(const QString& message) {
    return {2, message};
}

SimToolResult RegistryFailed() {
    const CRegistry& registry = CRegistry::Default();
    QString reason = registry.LastError();
    if (reason.isEmpty())
        reason = RegistryUnusableMessage(registry.Path());
    return Failed(u"could not write the registry: "_s + reason);
}

// Options of the form "--name value" and flags "--name"; positional words are refused.
struct Options {
    QMap<QString, QString> values;
    QStringList flags;
    QString error;
};

Options ParseOptions(const QStringList& args, const QStringList& valued, const QStringList& flags) {
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (valued.contains(arg)) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
                options.error = arg + u" needs a value"_s;
                return options;
            }
            if (options.values.contains(arg)) {
                options.error = arg + u" is given twice"_s;
                return options;
            }
            options.values.insert(arg, args[++i]);
        } else if (flags.contains(arg)) {
            options.flags.append(arg);
        } else {
            options.error = u"unexpected argument \""_s + arg + u'"';
            return options;
        }
    }
    return options;
}

QString AbsoluteFolder(const QString& path) {
    return QDir::cleanPath(QDir(path).absolutePath());
}

QString WithSeparator(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// A user profile name must address exactly one key.
QString CheckUserName(const QString& name) {
    if (name.isEmpty())
        return u"the user name is empty"_s;
    if (name.contains(u'\\') || name.contains(QChar(0)))
        return u"the user name may not contain a backslash"_s;
    if (name.toUtf8().size() > 255)
        return u"the user name is longer than 255 bytes"_s;
    return {};
}

QString MachineId(uint32_t high, uint32_t low) {
    return QString::number(high, 16).toUpper() + u'-' + QString::number(low, 16).toUpper();
}

// Replaces target with a copy of source.
bool CopyOver(const QString& source, const QString& target) {
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath() && QFile::exists(target))
        return true;
    const QString temp = target + u".epocsim-new"_s;
    QFile::remove(temp);
    if (!QFile::copy(source, temp))
        return false;
    if (QFile::exists(target) && !QFile::remove(target)) {
        QFile::remove(temp);
        return false;
    }
    return QFile::rename(temp, target);
}

const QStringList& FaultNames() {
    static const QStringList names{SimulatorConfig::FaultInit(), SimulatorConfig::FaultConnect(),
                                   SimulatorConfig::FaultBusy(), SimulatorConfig::FaultCopyFail(),
                                   SimulatorConfig::FaultCloseFail()};
    return names;
}

}  // namespace

CSimTool::CSimTool(QString programFolder) : m_programFolder(std::move(programFolder)) {}

QString CSimTool::Usage() {
    return u"usage: epocsim install --dir DIR\n"
           u"       epocsim user add NAME --pc-dir DIR [--current]\n"
           u"       epocsim device create --root DIR --id HIGH-LOW --owner NAME\n"
           u"       epocsim plug | unplug | status\n"
           u"       epocsim browse   (a window on the handheld's files, to drag them out)\n"
           u"       epocsim fault NAME N   (NAME: Init, Connect, Busy, CopyFail, CloseFail)"_s;
}

SimToolResult CSimTool::Run(const QStringList& arguments) {
    if (arguments.isEmpty())
        return BadArguments(u"no command given"_s);
    const QString& command = arguments[0];
    const QStringList rest = arguments.mid(1);
    if (command == u"install"_s)
        return Install(rest);
    if (command == u"user"_s) {
        if (rest.isEmpty() || rest[0] != u"add"_s)
            return BadArguments(u"expected \"user add NAME --pc-dir DIR\""_s);
        return AddUser(rest.mid(1));
    }
    if (command == u"device"_s) {
        if (rest.isEmpty() || rest[0] != u"create"_s)
            return BadArguments(u"expected \"device create --root DIR --id HIGH-LOW --owner NAME\""_s);
        return CreateDevice(rest.mid(1));
    }
    if (command == u"plug"_s || command == u"unplug"_s || command == u"status"_s) {
        if (!rest.isEmpty())
            return BadArguments(command + u" takes no arguments"_s);
        if (command == u"status"_s)
            return Status();
        return SetPlugged(command == u"plug"_s);
    }
    if (command == u"fault"_s)
        return SetFault(rest);
    if (command == u"help"_s || command == u"--help"_s || command == u"-h"_s)
        return Done(Usage());
    return BadArguments(u"unknown command \""_s + command + u'"');
}

SimToolResult CSimTool::Install(const QStringList& args) {
    const Options options = ParseOptions(args, {u"--dir"_s}, {});
    if (!options.error.isEmpty())
        return BadArguments(options.error);
    if (!options.values.contains(u"--dir"_s))
        return BadArguments(u"install needs --dir DIR"_s);
    const QString dir = AbsoluteFolder(options.values.value(u"--dir"_s));

    // Check what has to be installed before anything changes.
    const QString chooser = m_programFolder + u'/' + kChooserFile;
    if (!QFileInfo(chooser).isFile())
        return Failed(u"the EPOC file chooser "_s + kChooserFile + u" was not found in "_s + m_programFolder);
    if (!QDir().mkpath(dir))
        return Failed(u"cannot create the folder "_s + dir);
    if (!CopyOver(chooser, dir + u'/' + kChooserFile))
        return Failed(u"cannot copy "_s + kChooserFile + u" into "_s + dir);

    struct Clip {
        QString file;
        QString value;
    };
    const Clip clips[] = {{u"dtconnect.avi"_s, u"Connect"_s}, {u"dtsync.avi"_s, u"Sychronize"_s}};
    QStringList installedClips;
    for (const Clip& clip : clips) {
        const QString source = m_programFolder + u'/' + clip.file;
        if (!QFileInfo(source).isFile())
            continue;  // no clip, no animation
        if (!CopyOver(source, dir + u'/' + clip.file))
            return Failed(u"cannot copy "_s + clip.file + u" into "_s + dir);
        installedClips.append(clip.value);
    }

    QString programs = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (programs.isEmpty())
        programs = QDir::homePath() + u"/.local/share"_s;
    programs += u"/applications"_s;
    QDir().mkpath(programs);

    CRegistry& registry = CRegistry::Default();
    const RegStatus status = registry.Transaction([&] {
        if (!registry.SetString(RegRoot::LocalMachine, kSuiteKey, u"Installation Directory"_s, WithSeparator(dir)) ||
            !registry.SetString(RegRoot::CurrentUser, kShellFoldersKey, u"Programs"_s, programs))
            return false;
        for (const Clip& clip : clips) {
            if (installedClips.contains(clip.value) &&
                !registry.SetString(RegRoot::LocalMachine, kAnimationsKey, clip.value, dir + u'/' + clip.file))
                return false;
        }
        return true;
    });
    if (status != RegStatus::Ok)
        return RegistryFailed();

    QString error;
    if (!InstallConverterRegistration(dir, &error))
        return Failed(u"cannot register the converters: "_s + error);
    return Done(u"Installed the suite in "_s + WithSeparator(dir) + u" with "_s + kChooserFile +
                u", the built-in converters"_s + u" and "_s +
                (installedClips.isEmpty() ? u"no animation clips"_s
                                          : QString::number(installedClips.size()) + u" animation clip(s)"_s));
}

SimToolResult CSimTool::AddUser(const QStringList& args) {
    if (args.isEmpty() || args[0].startsWith(u"--"_s))
        return BadArguments(u"user add needs a NAME"_s);
    const QString name = args[0];
    if (const QString problem = CheckUserName(name); !problem.isEmpty())
        return BadArguments(problem);
    const Options options = ParseOptions(args.mid(1), {u"--pc-dir"_s}, {u"--current"_s});
    if (!options.error.isEmpty())
        return BadArguments(options.error);
    if (!options.values.contains(u"--pc-dir"_s))
        return BadArguments(u"user add needs --pc-dir DIR"_s);
    const QString pcDir = AbsoluteFolder(options.values.value(u"--pc-dir"_s));
    const bool current = options.flags.contains(u"--current"_s);
    if (!QDir().mkpath(pcDir))
        return Failed(u"cannot create the folder "_s + pcDir);

    CRegistry& registry = CRegistry::Default();
    const RegStatus status = registry.Transaction([&] {
        return registry.SetString(RegRoot::CurrentUser, kUsersKey + u'\\' + name + u"\\PCDirectory"_s, QString(),
                                  WithSeparator(pcDir)) &&
               (!current || registry.SetString(RegRoot::CurrentUser, kCurrentUserKey, QString(), name));
    });
    if (status != RegStatus::Ok)
        return RegistryFailed();
    return Done(u"Added user "_s + name + u" with PC folder "_s + WithSeparator(pcDir) +
                (current ? u" as the current user"_s : QString()));
}

SimToolResult CSimTool::CreateDevice(const QStringList& args) {
    const Options options = ParseOptions(args, {u"--root"_s, u"--id"_s, u"--owner"_s}, {});
    if (!options.error.isEmpty())
        return BadArguments(options.error);
    for (const QString& required : {u"--root"_s, u"--id"_s, u"--owner"_s}) {
        if (!options.values.contains(required))
            return BadArguments(u"device create needs "_s + required);
    }
    static const QRegularExpression idPattern(u"^([0-9A-Fa-f]{1,8})-([0-9A-Fa-f]{1,8})$"_s);
    const QRegularExpressionMatch match = idPattern.match(options.values.value(u"--id"_s));
    if (!match.hasMatch())
        return BadArguments(u"the id must be HIGH-LOW in hexadecimal, such as A2B-FF"_s);
    const uint32_t high = match.captured(1).toUInt(nullptr, 16);
    const uint32_t low = match.captured(2).toUInt(nullptr, 16);
    const QString owner = options.values.value(u"--owner"_s);
    if (const QString problem = CheckUserName(owner); !problem.isEmpty())
        return BadArguments(problem);
    const QString root = AbsoluteFolder(options.values.value(u"--root"_s));
    if (!QDir().mkpath(root + u"/C/Documents"_s))
        return Failed(u"cannot create the device folder "_s + root + u"/C/Documents"_s);

    const QString id = MachineId(high, low);
    CRegistry& registry = CRegistry::Default();
    const QString key = SimulatorConfig::Key();
    const RegStatus status = registry.Transaction([&] {
        return registry.SetString(RegRoot::LocalMachine, key, SimulatorConfig::DeviceRoot(), root) &&
               registry.SetNumber(RegRoot::LocalMachine, key, SimulatorConfig::MachineIdLow(), low) &&
               registry.SetNumber(RegRoot::LocalMachine, key, SimulatorConfig::MachineIdHigh(), high) &&
               registry.SetNumber(RegRoot::LocalMachine, key, SimulatorConfig::Connected(), 1) &&
               registry.CreateKey(RegRoot::CurrentUser, kUsersKey + u'\\' + owner + u"\\Machines\\"_s + id) ==
                   RegStatus::Ok;
    });
    if (status != RegStatus::Ok)
        return RegistryFailed();
    return Done(u"Created handheld "_s + id + u" owned by "_s + owner + u" in "_s + root + u", plugged in"_s);
}

SimToolResult CSimTool::SetPlugged(bool plugged) {
    CRegistry& registry = CRegistry::Default();
    if (!registry.KeyExists(RegRoot::LocalMachine, SimulatorConfig::Key()))
        return Failed(u"no handheld yet: run \"epocsim device create\" first"_s);
    if (!registry.SetNumber(RegRoot::LocalMachine, SimulatorConfig::Key(), SimulatorConfig::Connected(),
                            plugged ? 1 : 0))
        return RegistryFailed();
    return Done(plugged ? u"Handheld plugged in"_s : u"Handheld unplugged"_s);
}

SimToolResult CSimTool::Status() {
    CRegistry& registry = CRegistry::Default();
    QStringList parts;
    QString suite;
    parts.append(registry.GetString(RegRoot::LocalMachine, kSuiteKey, u"Installation Directory"_s, suite)
                     ? u"suite in "_s + suite
                     : u"suite not installed"_s);
    QString user;
    parts.append(registry.GetString(RegRoot::CurrentUser, kCurrentUserKey, QString(), user) && !user.isEmpty()
                     ? u"current user "_s + user
                     : u"no current user"_s);
    const QString key = SimulatorConfig::Key();
    if (registry.KeyExists(RegRoot::LocalMachine, key)) {
        QString root;
        uint32_t low = 0;
        uint32_t high = 0;
        uint32_t connected = 0;
        registry.GetString(RegRoot::LocalMachine, key, SimulatorConfig::DeviceRoot(), root);
        registry.GetNumber(RegRoot::LocalMachine, key, SimulatorConfig::MachineIdLow(), low);
        registry.GetNumber(RegRoot::LocalMachine, key, SimulatorConfig::MachineIdHigh(), high);
        registry.GetNumber(RegRoot::LocalMachine, key, SimulatorConfig::Connected(), connected);
        parts.append(u"handheld "_s + MachineId(high, low) + u" in "_s + root +
                     (connected ? u" plugged in"_s : u" unplugged"_s));
    } else {
        parts.append(u"no handheld"_s);
    }
    QStringList faults;
    for (const QString& name : FaultNames()) {
        uint32_t count = 0;
        if (registry.GetNumber(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), name, count) && count != 0)
            faults.append(name + u'=' + QString::number(count));
    }
    parts.append(faults.isEmpty() ? u"no faults"_s : u"faults "_s + faults.join(u' '));
    return Done(parts.join(u"; "_s));
}

SimToolResult CSimTool::SetFault(const QStringList& args) {
    if (args.size() != 2)
        return BadArguments(u"expected \"fault NAME N\""_s);
    QString name;
    for (const QString& known : FaultNames()) {
        if (known.compare(args[0], Qt::CaseInsensitive) == 0)
            name = known;
    }
    if (name.isEmpty())
        return BadArguments(u"unknown fault \""_s + args[0] + u"\" (Init, Connect, Busy, CopyFail, CloseFail)"_s);
    bool ok = false;
    const uint32_t count = args[1].toUInt(&ok, 10);
    if (!ok)
        return BadArguments(u"the count must be a whole number from 0 to 4294967295"_s);
    if (!CRegistry::Default().SetNumber(RegRoot::LocalMachine, SimulatorConfig::FaultsKey(), name, count))
        return RegistryFailed();
    return Done(u"Fault "_s + name + u" set to "_s + QString::number(count));
}
