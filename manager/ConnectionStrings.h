// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Texts of the connection monitor, the synchronizer launch and the adding flows; they join
// the manager's table.
enum ConnectionString : int {
    kIdsCouldNotStartEngine = 62100,
    kIdsCannotConnect = 62101,
    kIdsCouldNotAccessEngine = 62102,
    kIdsAskSyncTime = 62103,
    kIdsSyncNotRegistered = 62104,
    kIdsSyncNotFound = 62105,
    kIdsChooserMissing = 62106,
    kIdsSelectNewFile = 61208,
    kIdsOk = 61209,
    kIdsSelectEpocTarget = 61224,
    kIdsNoWholeFolder = 61234,
    kIdsAllFiles = 61238,
    kIdsManyBindings = 61245,
    kIdsSelectPcTarget = 61205,
    kIdsNoConversion = 61235,
    kIdsBadEpocDrop = 62107,
    kIdsEntryStaysBusy = 62108,
    kIdsHandheldOfAnotherUser = 62109,
    kIdsEntryNotOpened = 62150,
    kIdsEntryNoAnswer = 62151,
    // The plan window: its title, state lines, columns (first to first + 8), actions and reasons
    // (in bindcopy /P's order).
    kIdsPreviewNoHandheld = 62160,
    kIdsPreviewTitle = 62161,
    kIdsPreviewWorking = 62162,
    kIdsPreviewSummary = 62163,
    kIdsPreviewFailed = 62164,
    kIdsPreviewSynchronize = 62165,
    kIdsPreviewClose = 62166,
    kIdsPreviewColumnFirst = 62170,
    kIdsPreviewActionFirst = 62180,
    kIdsPreviewReasonFirst = 62300,
};

// Adds the texts to the string table; InstallManagerStrings does, once at start-up.
void InstallConnectionStrings();
QString LoadConnectionString(int id);
