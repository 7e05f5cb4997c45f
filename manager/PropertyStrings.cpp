// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/PropertyStrings.h"

#include "common/StringTable.h"

void InstallPropertyStrings() {
    CStringTable::Install({
        {kIdsItemProperties, "Item properties"},
        {kIdsDovetailOptions, "Dovetail Options"},
        {kIdsDefaultRulesTab, "Default synchronization rules"},
        {kIdsPropertiesChooserMissing, "The EPOC file chooser could not be loaded:\n%1"},
        {kIdsNoScheduler,
         "Automatic synchronization is switched on, but no scheduler program is installed to start it."},
        {kIdsSchedulerNotStarted,
         "Automatic synchronization is switched on, but its scheduler program could not be started:\n%1"},
        {kIdsSchedulerNotAtLogOn,
         "The scheduler program %1 runs now, but it could not be registered to start when you log on: "
         "automatic synchronization stops at the end of this session."},
        {kIdsNoSynchronizerToStart,
         "Automatic synchronization is switched on, but no synchronizer is registered for the scheduler to "
         "start."},
        {kIdsVersionsTab, "Versions"},
        // As the synchronizer writes them in the names of what it keeps.
        {kIdsVersionSidePc, "PC"},
        {kIdsVersionSideHandheld, "MC 218"},
        {kIdsVersionBackup, "Backup"},
        {kIdsVersionRestore, "&Restore"},
        {kIdsVersionOpen, "&Open"},
        {kIdsVersionAskRestore,
         "Put %1 back as %2?\n\nThe document's present content is kept as a version first, and the next "
         "synchronization takes the restored one to the MC 218."},
        {kIdsVersionNotRestored, "The version could not be put back; %1 is as it was."},
        {kIdsVersionNotOpened, "No program opens %1."},
        {kIdsVersionColumnFirst + 0, "Kept"},
        {kIdsVersionColumnFirst + 1, "Side"},
        {kIdsVersionColumnFirst + 2, "Size"},
        {kIdsVersionColumnFirst + 3, "Name"},
    });
}

QString LoadPropertyString(int id) {
    bool ok = false;
    const QString text = CStringTable::Load(id, &ok);
    return ok ? text : QStringLiteral("???");
}
