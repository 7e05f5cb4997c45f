// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Installer.h"

#include "common/Launcher.h"
#include "common/ProfileRegistry.h"
#include "setup/SetupContext.h"
#include "setup/SetupNames.h"
#include "setup/SetupProgress.h"
#include "setup/Strings.h"
#include "setup/VersionRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// The suite's chooser library must be at least this version.
constexpr char kMinimumChooserVersion[] = "1.0.0.20";

// A program built against this toolkit release needs at least that release at run time.
QString MinimumToolkitVersion() {
    return QStringLiteral("%1.%2").arg(QT_VERSION_MAJOR).arg(QT_VERSION_MINOR);
}

constexpr int kInstallSteps = 16;

struct CProgressSteps {
    ISetupProgress* progress;
    void Step() const {
        if (progress)
            progress->Step();
    }
};

QString Key(const char* text) {
    return QString::fromUtf8(text);
}

// Quotes a path for the Exec key of a desktop entry: one quoted argument, then the
// string-level escaping of backslashes, and "%" doubled for the field codes.
QString QuoteExecArgument(const QString& path) {
    QString quoted = u"\""_s;
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    quoted.replace(u"\\"_s, u"\\\\"_s);
    quoted.replace(u"%"_s, u"%%"_s);
    return quoted;
}

QString EscapeEntryText(QString text) {
    text.replace(u"\\"_s, u"\\\\"_s);
    return text;
}

}  // namespace

bool CInstaller::CheckPrerequisites() {
    m_ctx.m_languageFolder = u"./"_s;
    QString programPath;
    if (m_ctx.m_hooks.programPath && m_ctx.m_hooks.programPath(programPath)) {
        const qsizetype slash = programPath.lastIndexOf(u'/');
        if (slash > 0) {
            const QString folder = programPath.left(slash + 1);
            m_ctx.m_setupFolder = folder;
            m_ctx.m_languageFolder = folder + m_ctx.LanguageSuffix();
        }
    }

    // Every release of this system is accepted; the description is only shown.
    m_ctx.m_osDescription = BuildOsDescription();

    // A damaged store reads as empty, which would pass for a missing suite: name the file.
    if (QString message; !RegStoreUsable(message)) {
        m_ctx.m_errorText = message;
        return false;
    }
    if (!IsEpocConnectInstalled())
        return m_ctx.Fail(IDS_NEED_EPOC_CONNECT);
    QString folder;
    if (!GetEpocConnectDirectory(folder))
        return m_ctx.Fail(IDS_EC_FOLDER_INACCESSIBLE);
    m_ctx.m_epocConnectFolder = folder;

    QString command;
    if (RegReadString(HKEY_CLASSES_ROOT, SetupNames::ClsidKey() + u"\\shell\\open\\command"_s, QString(), command)) {
        QString title = QFileInfo(programPath).completeBaseName();
        if (title.isEmpty())
            title = SetupNames::SetupProgram();
        const bool yes =
            m_ctx.m_hooks.askYesNo && m_ctx.m_hooks.askYesNo(title, m_ctx.LoadLocalString(IDS_ALREADY_INSTALLED));
        if (!yes)
            return m_ctx.Fail(IDS_ABORTED);
    }

    const QString chooser =
        m_ctx.m_hooks.fileVersion ? m_ctx.m_hooks.fileVersion(folder + SetupNames::ChooserLibrary()) : QString();
    if (!VersionAtMost(QString::fromLatin1(kMinimumChooserVersion), chooser))
        return m_ctx.Fail(IDS_NEED_EC_CHOOSER);

    const QString toolkit = m_ctx.m_hooks.toolkitVersion ? m_ctx.m_hooks.toolkitVersion() : QString();
    if (!VersionAtMost(MinimumToolkitVersion(), toolkit))
        return m_ctx.Fail(IDS_NEED_TOOLKIT);
    return true;
}

bool CInstaller::CopySetupFile(const QString& name, bool fromSetupFolder) {
    const QString target = m_ctx.m_epocConnectFolder + name;
    const QString source = (fromSetupFolder ? m_ctx.m_setupFolder : m_ctx.m_languageFolder) + name;
    const QFileInfo sourceInfo(source);
    const QFileInfo targetInfo(target);

    // Run from the suite folder itself the program is its own target: deleting the
    // target would delete the only copy.
    if (sourceInfo.isFile() && targetInfo.exists() && sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath())
        return true;

    if (targetInfo.exists() || targetInfo.isSymLink()) {
        if (!targetInfo.isWritable())
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
        QFile::remove(target);
    }
    if (!sourceInfo.isFile() || !QFile::copy(source, target))
        return m_ctx.Fail(IDS_COPY_FAILED, name);
    const QFileDevice::Permissions permissions = QFile::permissions(target);
    if (!(permissions & QFileDevice::WriteOwner))
        QFile::setPermissions(target, permissions | QFileDevice::WriteOwner);
    return true;
}

bool CInstaller::Install(ISetupProgress* progress) {
    const CProgressSteps steps{progress};
    if (progress)
        progress->SetStepCount(kInstallSteps);
    const QString& folder = m_ctx.m_epocConnectFolder;

    for (const QString& name : {SetupNames::Synchronizer(), SetupNames::Manager(), SetupNames::HelpFile()}) {
        if (!CopySetupFile(name, false))
            return false;
        steps.Step();
    }
    // The scheduler is optional: a missing one is not a reason to stop.
    CopySetupFile(SetupNames::Scheduler(), false);
    steps.Step();
    if (!CopySetupFile(SetupNames::SetupProgram(), true))
        return false;
    steps.Step();
    if (!CopySetupFile(SetupNames::Animation(), false))
        return false;
    steps.Step();

    const QString profileKey = Key(SetupNames::kProfileKey);
    if (!RegWriteString(HKEY_CURRENT_USER, profileKey, u"SyncronizerPath"_s, folder + SetupNames::Synchronizer()) ||
        !RegWriteNumber(HKEY_CURRENT_USER, profileKey, u"language"_s, m_ctx.m_language))
        return m_ctx.Fail(IDS_REGISTRY_WRITE);
    steps.Step();
    if (!RegWriteString(HKEY_CURRENT_USER, Key(SetupNames::kSchedulerKey), QString(), folder + SetupNames::Scheduler()))
        return m_ctx.Fail(IDS_REGISTRY_WRITE);
    steps.Step();

    // Automatic synchronization starts switched off for every profile.
    const QString usersKey = Key(kUsersKey);
    if (RegKeyExists(HKEY_CURRENT_USER, usersKey)) {
        for (int index = 0; index < SetupNames::kMaxUsers; ++index) {
            QString user;
            if (RegEnumSubKey(HKEY_CURRENT_USER, usersKey, index, user) != RegStatus::Ok)
                break;
            if (RegCreateKey(HKEY_CURRENT_USER, usersKey + u'\\' + user + u'\\' + Key(SetupNames::kAutoSynchArea)) !=
                RegStatus::Ok)
                break;
            WriteEntryNumber(user, Key(SetupNames::kAutoSynchArea), Key(SetupNames::kAppTitle), u"Frequency"_s, 0);
        }
    }
    steps.Step();

    const QString clsid = SetupNames::ClsidKey();
    const QString title = Key(SetupNames::kAppTitle);
    const QString manager = folder + SetupNames::Manager();
    const QString nameSpace = Key(SetupNames::kNameSpaceKey) + u'\\' + Key(SetupNames::kShellFolderClsid);
    const std::function<bool()> shellFolder[] = {
        [&] { return RegWriteString(HKEY_CLASSES_ROOT, clsid, QString(), title); },
        [&] { return RegWriteString(HKEY_CLASSES_ROOT, clsid + u"\\DefaultIcon"_s, QString(), manager + u",0"_s); },
        [&] { return RegWriteNumber(HKEY_CLASSES_ROOT, clsid + u"\\EpocShellFolder"_s, u"Attributes"_s, 1); },
        [&] { return RegWriteString(HKEY_CLASSES_ROOT, clsid + u"\\shell\\open\\command"_s, QString(), manager); },
        [&] { return RegWriteString(HKEY_LOCAL_MACHINE, nameSpace, QString(), title); },
    };
    for (const auto& write : shellFolder) {
        if (!write())
            return m_ctx.Fail(IDS_REGISTRY_WRITE);
        steps.Step();
    }

    QString programs;
    if (!FindProgramsFolder(programs))
        return m_ctx.Fail(IDS_REGISTRY_READ);
    const QString menuFolder = MenuFolder(programs, m_ctx.LoadLocalString(IDS_START_MENU_FOLDER));
    QDir().mkpath(menuFolder);
    // Installed from the package, the menu, the log-in start and the plug-in start go through
    // its launcher (which keeps these copies at the package's version); an installation from
    // elsewhere forgets an earlier package's.
    const QString launcher = LauncherNear(m_ctx.m_setupFolder);
    RecordLauncher(launcher);
    if (!CreateShellLink(manager, menuFolder + u'/' + SetupNames::ShortcutFile(), title, launcher))
        return m_ctx.Fail(IDS_LINK_FAILED);
    // Removing Dovetail is one menu choice away, as installing it was.
    CreateUninstallLink(folder + SetupNames::SetupProgram(), menuFolder + u'/' + UninstallShortcutFile(), launcher);
    steps.Step();

    const QString uninstallKey = Key(SetupNames::kUninstallKey);
    if (!RegWriteString(HKEY_LOCAL_MACHINE, uninstallKey, u"DisplayName"_s, title) ||
        !RegWriteString(HKEY_LOCAL_MACHINE, uninstallKey, u"UninstallString"_s,
                        folder + SetupNames::SetupProgram() + u" /U"_s))
        return m_ctx.Fail(IDS_REGISTRY_WRITE);
    steps.Step();
    return true;
}

bool FindProgramsFolder(QString& folder) {
    const QString key = Key(SetupNames::kShellFoldersKey);
    QString found;
    // An empty or relative text would put the entry below the root or the working folder:
    // it counts as not registered, so the user's own folder is taken instead.
    const auto read = [&](HKEY root, const QString& name) {
        return RegReadString(root, key, name, found) && QDir::isAbsolutePath(found);
    };
    if (!read(HKEY_LOCAL_MACHINE, u"Common Programs"_s) && !read(HKEY_CURRENT_USER, u"Programs"_s))
        return false;
    while (found.size() > 1 && found.endsWith(u'/'))
        found.chop(1);
    folder = found;
    return true;
}

QString MenuFolder(const QString& programsFolder, const QString& subFolderText) {
    QString sub = subFolderText;
    sub.replace(u'\\', u'/');
    if (programsFolder.endsWith(u'/') && sub.startsWith(u'/'))
        sub.remove(0, 1);
    return programsFolder + sub;
}

namespace {

// The package's icon where it is installed, else an icon every theme has.
QString EntryIcon(const char* packaged, const char* themed) {
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  u"icons/hicolor/48x48/apps/"_s + QString::fromLatin1(packaged) + u".png"_s)
                   .isEmpty()
               ? QString::fromLatin1(themed)
               : QString::fromLatin1(packaged);
}

// A menu entry running exec (already quoted), shown only while tryExec is there (when given).
bool WriteMenuEntry(const QString& linkPath, const QString& name, const QString& description, const QString& exec,
                    const QString& tryExec, const QString& icon) {
    // The menu categories file tools are listed under.
    QString entry = u"[Desktop Entry]\nType=Application\nName="_s + EscapeEntryText(name) + u"\nComment="_s +
                    EscapeEntryText(description) + u"\nExec="_s + exec + u"\n"_s;
    if (!tryExec.isEmpty())
        entry += u"TryExec="_s + EscapeEntryText(tryExec) + u"\n"_s;
    entry += u"Icon="_s + icon + u"\nCategories=Utility;FileTools;\n"_s;
    QSaveFile file(linkPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entry.toUtf8());
    return file.commit();
}

bool IsOneLine(const QString& text) {
    return !text.contains(u'\n') && !text.contains(u'\r');
}

}  // namespace

bool CreateShellLink(const QString& target, const QString& linkPath, const QString& description,
                     const QString& launcher) {
    if (!IsOneLine(target) || !IsOneLine(launcher) || description.contains(u'\n'))
        return false;
    QString name = QFileInfo(linkPath).completeBaseName();
    if (name.isEmpty())
        name = description;
    // With the package's icon this entry takes the place of the package's entry of the same
    // name in the menu.
    const QString exec = launcher.isEmpty() ? QuoteExecArgument(target)
                                            : QuoteExecArgument(launcher) + u" --start "_s + QuoteExecArgument(target);
    return WriteMenuEntry(linkPath, name, description, exec, launcher, EntryIcon("dovetail", "view-refresh"));
}

bool CreateUninstallLink(const QString& setupProgram, const QString& linkPath, const QString& launcher) {
    if (!IsOneLine(setupProgram) || !IsOneLine(launcher))
        return false;
    const QString exec = launcher.isEmpty() ? QuoteExecArgument(setupProgram) + u" /U"_s
                                            : QuoteExecArgument(launcher) + u" --uninstall"_s;
    return WriteMenuEntry(linkPath, u"Uninstall Dovetail"_s,
                          u"Remove Dovetail's programs and your bindings; your documents and backups stay"_s, exec,
                          launcher, EntryIcon("dovetail", "edit-delete"));
}

QString LauncherNear(const QString& setupFolder) {
    if (setupFolder.isEmpty())
        return {};
    const QFileInfo launcher(QDir::cleanPath(setupFolder + u"../bin/dtwelcome"_s));
    return launcher.isFile() && launcher.isExecutable() ? launcher.absoluteFilePath() : QString();
}
