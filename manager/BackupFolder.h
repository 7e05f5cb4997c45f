// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the synchronizer keeps the current user's backups: the user's PC folder, the
// user's name, then "/Dovetail". A user name or PC folder the store checks refuse names no
// folder, so the backups can never land outside the user's PC folder.
struct BackupFolderResult {
    bool ok = false;
    QString folder;
    QString message;  // shown (stop icon) before the manager closes, when not ok
};
BackupFolderResult ResolveBackupFolder();
