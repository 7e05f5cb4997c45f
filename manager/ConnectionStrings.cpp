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
