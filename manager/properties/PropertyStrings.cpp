// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/PropertyStrings.h"

#include "common/StringTable.h"
#include "manager/connection/ConnectionStrings.h"

void InstallPropertyStrings() {
    InstallConnectionStrings();
    CStringTable::Install({
        {kIdsItemProperties, "Item properties"},
        {kIdsDovetailOptions, "Dovetail Options"},
        {kIdsDefaultRulesTab, "Default synchronization rules"},
        {kIdsPropertiesChooserMissing, "The EPOC file chooser could not be loaded:\n%1"},
    });
}

QString LoadPropertyString(int id) {
    bool ok = false;
    const QString text = CStringTable::Load(id, &ok);
    return ok ? text : QStringLiteral("???");
}
