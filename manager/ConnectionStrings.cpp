// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/ConnectionStrings.h"

#include "common/StringTable.h"

void InstallConnectionStrings() {
    CStringTable::Install({
        {kIdsCouldNotStartEngine, "Could not start Ericsson EPOC Connect"},
        {kIdsCannotConnect, "Cannot connect to MC 218"},
        {kIdsCouldNotAccessEngine, "Could not access Ericsson EPOC Connect"},
        {kIdsAskSyncTime,
         "You have not set Ericsson EPOC Connect to synchronize your PC and MC 218 clocks on every "
         "connection.\nWithout this setting, Dovetail may not function properly during the document "
         "synchronization process.\n\nDo you wish Dovetail to set this option for you now ?"},
        {kIdsSyncNotRegistered, "Synchronizer application not registered."},
        {kIdsSyncNotFound, "Synchronizer application not found."},
        {kIdsChooserMissing, "The EPOC file chooser could not be loaded:\n%1\n\nThe binding is abandoned."},
        {kIdsSelectNewFile, "Select new file to synchronize"},
        {kIdsOk, "OK"},
        {kIdsSelectEpocTarget, "Select EPOC target for "},
        {kIdsNoWholeFolder, "Cannot insert whole folder"},
        {kIdsAllFiles, "All files"},
        {kIdsSelectPcTarget, "Select PC target for "},
        {kIdsNoConversion, "No conversion"},
        {kIdsBadEpocDrop, "The dropped items cannot be added:\n%1"},
        {kIdsEntryStaysBusy, "%1 is in use on the MC 218 and cannot be added now."},
        {kIdsHandheldOfAnotherUser,
         "The connected MC 218 belongs to %1, and the bindings listed are %2's: the selected binding cannot be "
         "synchronized with it.\n\nConnect %2's MC 218, or choose Synchronize All to synchronize %1's bindings."},
        {kIdsPreviewNoHandheld, "No MC 218 is connected.\n\nConnect it to see what a synchronization would do now."},
        {kIdsPreviewTitle, "Preview Synchronization"},
        {kIdsPreviewWorking, "Looking at the files of every enabled binding..."},
        {kIdsPreviewSummary, "%1 of %2 bindings would be synchronized now; nothing has been copied yet."},
        {kIdsPreviewFailed, "What a synchronization would do cannot be worked out now:\n%1"},
        {kIdsPreviewSynchronize, "&Synchronize"},
        {kIdsPreviewClose, "&Close"},
        {kIdsPreviewColumnFirst + 0, "Entry"},
        {kIdsPreviewColumnFirst + 1, "Action"},
        {kIdsPreviewColumnFirst + 2, "Why"},
        {kIdsPreviewColumnFirst + 3, "PC File"},
        {kIdsPreviewColumnFirst + 4, "PC Size"},
        {kIdsPreviewColumnFirst + 5, "PC Time"},
        {kIdsPreviewColumnFirst + 6, "EPOC File"},
        {kIdsPreviewColumnFirst + 7, "EPOC Size"},
        {kIdsPreviewColumnFirst + 8, "EPOC Time"},
        {kIdsPreviewActionFirst + 0, "To MC 218"},
        {kIdsPreviewActionFirst + 1, "To PC"},
        {kIdsPreviewActionFirst + 2, "Both changed"},
        {kIdsPreviewActionFirst + 3, "In step"},
        {kIdsPreviewActionFirst + 4, "Left alone"},
        {kIdsPreviewActionFirst + 5, "Refused"},
        {kIdsPreviewReasonFirst + 0, "The PC file changed."},
        {kIdsPreviewReasonFirst + 1, "The MC 218 has no such file yet."},
        {kIdsPreviewReasonFirst + 2, "Both changed since they were bound; the PC file is newer."},
        {kIdsPreviewReasonFirst + 3, "The MC 218 file changed."},
        {kIdsPreviewReasonFirst + 4, "The PC has no such file yet."},
        {kIdsPreviewReasonFirst + 5, "Both changed since they were bound; the MC 218 file is newer."},
        {kIdsPreviewReasonFirst + 6, "Synchronized less than 24 hours ago: you will be asked."},
        {kIdsPreviewReasonFirst + 7, "You will be asked which to keep."},
        {kIdsPreviewReasonFirst + 8, "The newer PC file wins; the MC 218's is kept as a version first."},
        {kIdsPreviewReasonFirst + 9, "The newer MC 218 file wins; the PC's is kept as a version first."},
        {kIdsPreviewReasonFirst + 10, "Neither file changed."},
        {kIdsPreviewReasonFirst + 11, "Neither file exists."},
        {kIdsPreviewReasonFirst + 12, "The binding's rules copy only the other way."},
        {kIdsPreviewReasonFirst + 13, "Both changed within the same second."},
        {kIdsPreviewReasonFirst + 14, "The PC file is in use."},
        {kIdsPreviewReasonFirst + 15, "The MC 218 file cannot be read."},
        {kIdsPreviewReasonFirst + 16, "The MC 218 went away."},
        {kIdsPreviewReasonFirst + 17, "A binding with a lower number has the same file."},
        {kIdsPreviewReasonFirst + 18, "The binding's settings are damaged."},
        {kIdsPreviewReasonFirst + 19, "Not a binding."},
        {kIdsEntryNotOpened,
         "%1 could not be opened on the MC 218 and is not added: the MC 218 is no longer connected, or the file is "
         "gone."},
        {kIdsEntryNoAnswer, "The MC 218 did not answer for %1; it is not added."},
        {kIdsManyBindings, "WARNING\nYou are about to create %d bindings.\nDo you wish to continue ?"},
    });
}

QString LoadConnectionString(int id) {
    bool ok = false;
    const QString text = CStringTable::Load(id, &ok);
    return ok ? text : QStringLiteral("???");
}
