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
    });
}

QString LoadPropertyString(int id) {
    bool ok = false;
    const QString text = CStringTable::Load(id, &ok);
    return ok ? text : QStringLiteral("???");
}
