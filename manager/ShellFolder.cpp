// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ShellFolder.h"

#include "common/ProfileRegistry.h"

QString ShellFolderKey() {
    return QStringLiteral("CLSID\\") + QString::fromLatin1(kShellFolderClsid);
}

QString ShellFolderOpenKey() {
    return ShellFolderKey() + QStringLiteral("\\shell\\open\\command");
}

QString ShellFolderNameSpaceKey() {
    return QStringLiteral("Software\\Veroz\\PsiWin32\\CurrentVersion\\Explorer\\MyVeroz\\NameSpace\\") +
           QString::fromLatin1(kShellFolderClsid);
}

void RegisterShellFolder(const QString& appTitle, const QString& programPath) {
    QString command;
    if (RegReadString(HKEY_CLASSES_ROOT, ShellFolderOpenKey(), QString(), command))
        return;
    RegWriteString(HKEY_CLASSES_ROOT, ShellFolderKey(), QString(), appTitle);
    // There are no short path forms here: the icon names the full path.
    if (!programPath.isEmpty())
        RegWriteString(HKEY_CLASSES_ROOT, ShellFolderKey() + QStringLiteral("\\DefaultIcon"), QString(),
                       programPath + QStringLiteral(",0"));
    RegWriteNumber(HKEY_CLASSES_ROOT, ShellFolderKey() + QStringLiteral("\\EpocShellFolder"),
                   QStringLiteral("Attributes"), 1);
    if (!programPath.isEmpty())
        RegWriteString(HKEY_CLASSES_ROOT, ShellFolderOpenKey(), QString(), programPath);
    RegWriteString(HKEY_LOCAL_MACHINE, ShellFolderNameSpaceKey(), QString(), appTitle);
}
