// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/PropertyStrings.h"

#include "common/StringTable.h"

void InstallPropertyStrings() {
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
