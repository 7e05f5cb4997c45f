// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class CSetupContext;
class ISetupProgress;

// The install operations. Each failure leaves its text in the context's error text and
// returns false; nothing written before a failure is undone.
class CInstaller {
public:
    explicit CInstaller(CSetupContext& context) : m_ctx(context) {}

    // Fills the setup and language folders, the OS description and the suite folder, asks
    // before installing over an existing installation, and checks the suite's chooser
    // library and the widget toolkit versions.
    bool CheckPrerequisites();
    // Copies the files, writes the registry entries and the menu entry, announcing 16
    // steps to progress (which may be null).
    bool Install(ISetupProgress* progress);
    // Copies name from the setup folder (or the language folder) into the suite folder,
    // replacing a read-only target; the copy is left writable.
    bool CopySetupFile(const QString& name, bool fromSetupFolder);

private:
    CSetupContext& m_ctx;
};

// The applications folder the registry names ("Common Programs", else the user's
// "Programs"), without a trailing "/". Only an absolute path counts.
bool FindProgramsFolder(QString& folder);
// The folder the menu entry goes to: the applications folder plus the suite's sub-folder.
QString MenuFolder(const QString& programsFolder, const QString& subFolderText);

// Writes a desktop entry at linkPath that starts target, with an icon and menu categories;
// true when the file was saved. With a launcher the entry starts target through it and is
// shown only while the launcher is there (TryExec), so it goes from the menu with the package.
bool CreateShellLink(const QString& target, const QString& linkPath, const QString& description,
                     const QString& launcher = QString());
// The menu entry that removes the installation for the user: the launcher's uninstall, or
// without a launcher the installed setup program with "/U".
bool CreateUninstallLink(const QString& setupProgram, const QString& linkPath, const QString& launcher);
// The package's launcher beside the setup medium (setupFolder ends with "/"), empty when the
// medium is not the package's.
QString LauncherNear(const QString& setupFolder);

// The uninstall entry's file name, beside the shortcut.
inline QString UninstallShortcutFile() {
    return QStringLiteral("Uninstall Dovetail.desktop");
}
