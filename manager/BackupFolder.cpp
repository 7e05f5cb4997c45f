// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/BackupFolder.h"

#include "common/ProfileRegistry.h"
#include "manager/Strings.h"

BackupFolderResult ResolveBackupFolder() {
    BackupFolderResult result;
    QString user;
    if (!GetCurrentUser(user)) {
        result.messageId = kIdsNoUserInitialized;
        return result;
    }
    QString pcFolder;
    if (!GetUserPCDirectory(user, pcFolder)) {
        result.messageId = kIdsSelectCurrentFolder;
        return result;
    }
    result.ok = true;
    result.folder = pcFolder + user + QStringLiteral("/Dovetail");
    return result;
}
