// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Texts of the property sheets and the options; they join the manager's table, beside the
// adding flows' texts they share ("No conversion", the chooser titles, "OK").
enum PropertyString : int {
    kIdsItemProperties = 61232,
    kIdsDovetailOptions = 61233,
    kIdsDefaultRulesTab = 61240,
    kIdsPropertiesChooserMissing = 62200,
    kIdsNoScheduler = 62201,
    kIdsSchedulerNotStarted = 62202,
    kIdsSchedulerNotAtLogOn = 62203,
    kIdsNoSynchronizerToStart = 62204,
    // The binding's Versions page; columns first to first + 3.
    kIdsVersionsTab = 62210,
    kIdsVersionSidePc = 62211,
    kIdsVersionSideHandheld = 62212,
    kIdsVersionBackup = 62213,
    kIdsVersionRestore = 62214,
    kIdsVersionOpen = 62215,
    kIdsVersionAskRestore = 62216,
    kIdsVersionNotRestored = 62217,
    kIdsVersionNotOpened = 62218,
    kIdsVersionColumnFirst = 62220,
};

// Adds the texts to the string table; InstallManagerStrings does, once at start-up.
void InstallPropertyStrings();
QString LoadPropertyString(int id);
