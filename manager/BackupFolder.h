// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the synchronizer keeps the current user's backups: the user's PC folder, the
// user's name, then "/Dovetail".
struct BackupFolderResult {
    bool ok = false;
    QString folder;
    int messageId = 0;  // string shown (stop icon) before the manager closes, when not ok
};
BackupFolderResult ResolveBackupFolder();
