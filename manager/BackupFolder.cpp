// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/BackupFolder.h"

#include "common/ProfileRegistry.h"
#include "manager/Strings.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

BackupFolderResult ResolveBackupFolder() {
    BackupFolderResult result;
    QString user;
    if (const CStoreCheck read = GetCurrentUser(user); !read) {
        result.message = read.IsRefused() ? LoadManagerString(kIdsUserRefused).arg(read.Reason())
                                          : WithSetUpHint(LoadManagerString(kIdsNoUserInitialized));
        return result;
    }
    QString pcFolder;
    if (const CStoreCheck read = GetUserPCDirectory(user, pcFolder); !read) {
        result.message = read.IsRefused() ? LoadManagerString(kIdsPcFolderRefused).arg(read.Reason())
                                          : WithSetUpHint(LoadManagerString(kIdsSelectCurrentFolder));
        return result;
    }
    result.ok = true;
    result.folder = pcFolder + user + QStringLiteral("/Dovetail");
    return result;
}
