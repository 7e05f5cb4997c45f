// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/Uninstaller.h"

#include "common/AutostartEntry.h"
#include "common/ProfileRegistry.h"
#include "setup/Installer.h"
#include "setup/SetupContext.h"
#include "setup/SetupNames.h"
#include "setup/SetupProgress.h"
#include "setup/Strings.h"

#include <QFile>
#include <QFileInfo>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kUninstallSteps = 19;

QString Key(const char* text) {
    return QString::fromUtf8(text);
}

// Calls visit for the profiles at positions 0 to 63, stopping at the first missing one.
// False when the Users key does not exist.
bool ForEachUser(const std::function<void(const QString&)>& visit) {
    const QString usersKey = Key(kUsersKey);
    if (!RegKeyExists(HKEY_CURRENT_USER, usersKey))
        return false;
    for (int index = 0; index < SetupNames::kMaxUsers; ++index) {
        QString user;
        if (RegEnumSubKey(HKEY_CURRENT_USER, usersKey, index, user) != RegStatus::Ok)
            break;
        visit(user);
    }
    return true;
}

}  // namespace

bool IsUserLogFile(const QString& path, const QString& user) {
    // A relative path would be taken in whatever folder the uninstaller runs from.
    if (!CheckPcFilePath(u"\"LogDocSynchCopy\""_s, path) || !CheckUserName(u"The user's name"_s, user))
        return false;
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    const QString suffix = u"{"_s + user + u"}.srp"_s;
    const QString name = info.fileName();
    return name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive);
}

bool CUninstaller::CheckUninstall() {
    // Nothing is removed beside a damaged store: its entries could not be taken out with the
    // files, and the file itself stays as it is.
    if (QString message; !RegStoreUsable(message)) {
        m_ctx.m_errorText = message;
        return false;
    }
    bool installed = false;
    const bool usersOpen = ForEachUser([&](const QString& user) {
        uint32_t frequency = 0;
        if (ReadEntryNumber(user, Key(SetupNames::kAutoSynchArea), Key(SetupNames::kAppTitle), u"Frequency"_s,
                            frequency))
            installed = true;
    });
    if (!usersOpen || !installed)
        m_ctx.Fail(IDS_NOT_INSTALLED);

    QString folder;
    if (!GetEpocConnectDirectory(folder)) {
        m_ctx.Fail(IDS_EC_FOLDER_INACCESSIBLE);
        QString programPath;
        if (m_ctx.m_hooks.programPath && m_ctx.m_hooks.programPath(programPath))
            folder = programPath.left(programPath.lastIndexOf(u'/') + 1);
    }
    m_ctx.m_epocConnectFolder = folder;
    m_ctx.m_osDescription = BuildOsDescription();
    return true;
}

bool CUninstaller::IsSchedulerStillNeeded() const {
    bool needed = false;
    ForEachUser([&](const QString& user) {
        if (CountUserSubkeys(user, Key(SetupNames::kAutoSynchArea)) > 0)
            needed = true;
    });
    return needed;
}

bool CUninstaller::Uninstall(ISetupProgress* progress) {
    const auto step = [progress] {
        if (progress)
            progress->Step();
    };
    if (progress)
        progress->SetStepCount(kUninstallSteps);
    const QString& folder = m_ctx.m_epocConnectFolder;
    const auto removeFile = [&folder](const QString& name) {
        // Without a folder the name would be taken relative to the working folder.
        if (!folder.isEmpty())
            QFile::remove(folder + name);
    };

    for (const QString& name : {SetupNames::Synchronizer(), SetupNames::Manager(), SetupNames::HelpFile(),
                                SetupNames::HelpIndex(), SetupNames::HelpSearch(), SetupNames::Animation()}) {
        removeFile(name);
        step();
    }

    // The log path is only a registry text: nothing but the user's own log goes.
    ForEachUser([](const QString& user) {
        QString log;
        if (ReadUserString(user, Key(SetupNames::kAppTitle), Key(SetupNames::kLogValue), log) &&
            IsUserLogFile(log, user))
            QFile::remove(log);
    });
    step();

    DeleteKeyTree(HKEY_CURRENT_USER, Key(SetupNames::kVerozKey), Key(SetupNames::kAppTitle));
    step();

    const QString usersKey = Key(kUsersKey);
    ForEachUser([&](const QString& user) {
        const QString userKey = usersKey + u'\\' + user;
        DeleteKeyTree(HKEY_CURRENT_USER, userKey, Key(SetupNames::kAppTitle));
        step();
        DeleteKeyTree(HKEY_CURRENT_USER, userKey, Key(SetupNames::kBindingArea));
        step();
        DeleteKeyTree(HKEY_CURRENT_USER, userKey, Key(SetupNames::kAutoSynchArea) + u'\\' + Key(SetupNames::kAppTitle));
        step();
    });

    DeleteKeyTree(HKEY_CLASSES_ROOT, u"CLSID"_s, Key(SetupNames::kShellFolderClsid));
    step();
    DeleteKeyTree(HKEY_LOCAL_MACHINE, Key(SetupNames::kNameSpaceKey), Key(SetupNames::kShellFolderClsid));
    step();

    // The menu entry goes; its folder stays, as other programs of the suite live there.
    QString programs;
    if (FindProgramsFolder(programs)) {
        const QString menuFolder = MenuFolder(programs, m_ctx.LoadLocalString(IDS_START_MENU_FOLDER));
        QFile::remove(menuFolder + u'/' + SetupNames::ShortcutFile());
        QFile::remove(menuFolder + u'/' + UninstallShortcutFile());
    } else
        m_ctx.Fail(IDS_REGISTRY_READ);
    step();

    if (IsSchedulerStillNeeded()) {
        for (int i = 0; i < 4; ++i)
            step();
    } else {
        // A scheduler left running would go on starting a synchronizer that is gone.
        if (m_ctx.m_hooks.endProgram && !folder.isEmpty())
            m_ctx.m_hooks.endProgram(folder + SetupNames::Scheduler());
        DeleteKeyTree(HKEY_CURRENT_USER, Key(SetupNames::kVerozKey), u"SchedulerAppPath"_s);
        step();
        ForEachUser([](const QString& user) { DeleteUserKey(user, Key(SetupNames::kAutoSynchArea)); });
        step();
        RegDeleteValue(HKEY_CURRENT_USER, Key(SetupNames::kRunKey), Key(SetupNames::kSchedulerRunValue));
        // What starts the scheduler at log-on here (the Run value starts nothing).
        RemoveAutostartEntry(QString::fromLatin1(kSchedulerAutostartName));
        step();
        removeFile(SetupNames::Scheduler());
        step();
    }

    const QString uninstallKey = Key(SetupNames::kUninstallKey);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, uninstallKey.left(uninstallKey.lastIndexOf(u'\\')), Key(SetupNames::kAppTitle));
    step();

    // A running program can be deleted here, so nothing is left for a later log-on.
    removeFile(SetupNames::SetupProgram());
    return true;
}
