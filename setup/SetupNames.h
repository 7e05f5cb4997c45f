// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every file and key name the setup program installs or removes. Program files get this
// platform's executable suffix here and nowhere else, so the tables and the medium agree.
namespace SetupNames {

// The build passes its platform's suffix (setup/CMakeLists.txt), the one the medium is
// laid out with.
inline constexpr char kExecutableSuffix[] = DT_EXECUTABLE_SUFFIX;

inline QString Program(const char* base) {
    return QString::fromUtf8(base) + QString::fromUtf8(kExecutableSuffix);
}

inline QString Synchronizer() {
    return Program("bindcopy");
}
inline QString Manager() {
    return Program("bindmgr");
}
inline QString Scheduler() {
    return Program("DTkTimer");
}
inline QString SetupProgram() {
    return Program("DTSetup");
}
inline QString HelpFile() {
    return QStringLiteral("bindmgr.hlp");
}
inline QString HelpIndex() {
    return QStringLiteral("bindmgr.GID");
}
inline QString HelpSearch() {
    return QStringLiteral("bindmgr.FTS");
}
inline QString Animation() {
    return QStringLiteral("DOdivEdu.avi");
}
inline QString ChooserLibrary() {
    return QStringLiteral("ecfile.ocx");
}
// The Start-menu shortcut becomes a desktop entry of this name.
inline QString ShortcutFile() {
    return QStringLiteral("Dovetail.desktop");
}

inline constexpr char kAppTitle[] = "Dovetail";
inline constexpr char kShellFolderClsid[] = "{F7F79B30-BA87-11d2-AA80-00C04F7199CF}";
inline constexpr char kProfileKey[] = "Software\\Veroz\\Dovetail";
inline constexpr char kVerozKey[] = "Software\\Veroz";
inline constexpr char kSchedulerKey[] = "Software\\Veroz\\SchedulerAppPath";
inline constexpr char kNameSpaceKey[] = "Software\\Veroz\\PsiWin32\\CurrentVersion\\Explorer\\MyVeroz\\NameSpace";
inline constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Dovetail";
inline constexpr char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kSchedulerRunValue[] = "DTScheduler";
inline constexpr char kAutoSynchArea[] = "AutoSynchApps";
inline constexpr char kBindingArea[] = "DocSynchEntries";
inline constexpr char kLogValue[] = "LogDocSynchCopy";

// Only the first profiles are visited, as the manager's scheduler entry expects.
inline constexpr int kMaxUsers = 64;

inline QString ClsidKey() {
    return QStringLiteral("CLSID\\") + QString::fromUtf8(kShellFolderClsid);
}

}  // namespace SetupNames
