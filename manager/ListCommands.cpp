// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ListCommands.h"

#include "manager/BindingListModel.h"
#include "manager/CommandIds.h"
#include "manager/CommandTable.h"
#include "manager/DovetailManagerView.h"
#include "platform/shell/Shell.h"

void AddListCommands(CCommandTable& commands, CDovetailManagerView& view) {
    CDovetailManagerView* list = &view;
    const auto selected = [list] { return list->SelectedRow() >= 0; };
    commands.Add(
        kCmdEnable, [list] { list->OnEnableDisable(); }, selected);
    commands.Add(
        kCmdDelete, [list] { list->OnDelete(); }, selected);
    commands.Add(
        kCmdDeleteContext, [list] { list->OnDelete(); }, selected);
    commands.Add(
        kCmdExplore, [list] { list->OnExplore(); }, selected);
    commands.Add(
        kCmdLaunch, [list] { list->OnLaunch(); }, selected);
    // Preparing the folder may stop the manager (no user, no PC folder).
    commands.Add(
        kCmdBackups, [list] { list->OnBackups(); },
        [list] {
            QString folder;
            return list->PrepareBackupFolder(folder) && IShell::Current().GetTypeName(folder) == ShellFolderTypeName();
        },
        true);
    commands.Add(kCmdHelp, [list] { list->OnHelp(); });
    commands.Add(kCmdHelpIndex, [list] { list->OnHelp(); });
}
