// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/PlanLine.h"
#include "manager/ConnectionStrings.h"
#include "manager/PropertyStrings.h"
#include "manager/Strings.h"

#include <gtest/gtest.h>

// Every text the manager asks for comes from the one install at start-up: a text id without
// its text would show "???".
TEST(ManagerStringsTest, EveryTextIdHasItsTextAfterTheOneInstall) {
    InstallManagerStrings();
    struct Table {
        const char* name;
        QString (*load)(int);
        std::vector<int> ids;
    };
    std::vector<int> managerIds = {kIdsOleInitFailed,
                                   kIdrMainFrame,
                                   kIdsUnknown,
                                   kIdsNoEpocConnect,
                                   kIdsIdleObjects,
                                   kIdsNotConnected,
                                   kIdsSimilarItemExists,
                                   kIdsConfirmDelete,
                                   kIdsNoExecutable,
                                   kIdsNoUserInitialized,
                                   kIdsSelectCurrentFolder,
                                   kIdsBytesFormat,
                                   kIdsDevelopedFor,
                                   kIdsVersionFormat,
                                   kIdsNoProgramToOpen,
                                   kIdsAppTitle,
                                   kIdsCannotStoreBinding,
                                   kIdsCannotSwitchBinding,
                                   kIdsCannotDeleteBinding,
                                   kIdsCannotSaveProperties,
                                   kIdsCannotSaveOptions,
                                   kIdsPcPathTooLong,
                                   kIdsSetUpHint,
                                   kIdsUserRefused,
                                   kIdsPcFolderRefused,
                                   kIdsPcFileRefused,
                                   kIdsLogPathRefused};
    for (int column = 0; column < 8; ++column)
        managerIds.push_back(kIdsColumnFirst + column);
    std::vector<int> connectionIds = {kIdsCouldNotStartEngine, kIdsCannotConnect,     kIdsCouldNotAccessEngine,
                                      kIdsAskSyncTime,         kIdsSyncNotRegistered, kIdsSyncNotFound,
                                      kIdsChooserMissing,      kIdsSelectNewFile,     kIdsOk,
                                      kIdsSelectEpocTarget,    kIdsNoWholeFolder,     kIdsAllFiles,
                                      kIdsManyBindings,        kIdsSelectPcTarget,    kIdsNoConversion,
                                      kIdsBadEpocDrop,         kIdsEntryStaysBusy,    kIdsEntryNotOpened,
                                      kIdsEntryNoAnswer,       kIdsPreviewNoHandheld, kIdsPreviewTitle,
                                      kIdsPreviewWorking,      kIdsPreviewSummary,    kIdsPreviewFailed,
                                      kIdsPreviewSynchronize,  kIdsPreviewClose};
    // The plan window shows every column, action and reason bindcopy /P can print.
    for (int i = 0; i < 9; ++i)
        connectionIds.push_back(kIdsPreviewColumnFirst + i);
    for (int i = 0; i <= static_cast<int>(PlanAction::Refused); ++i)
        connectionIds.push_back(kIdsPreviewActionFirst + i);
    for (int i = 0; i <= static_cast<int>(PlanReason::NotABinding); ++i)
        connectionIds.push_back(kIdsPreviewReasonFirst + i);
    std::vector<int> propertyIds = {
        kIdsItemProperties,  kIdsDovetailOptions, kIdsDefaultRulesTab,     kIdsPropertiesChooserMissing,
        kIdsVersionsTab,     kIdsVersionSidePc,   kIdsVersionSideHandheld, kIdsVersionBackup,
        kIdsVersionRestore,  kIdsVersionOpen,     kIdsVersionAskRestore,   kIdsVersionNotRestored,
        kIdsVersionNotOpened};
    for (int i = 0; i < 4; ++i)
        propertyIds.push_back(kIdsVersionColumnFirst + i);
    const Table tables[] = {
        {"manager", &LoadManagerString, managerIds},
        {"connection and adding", &LoadConnectionString, connectionIds},
        {"properties", &LoadPropertyString, propertyIds},
    };
    for (const Table& table : tables) {
        for (int id : table.ids) {
            const QString text = table.load(id);
            EXPECT_FALSE(text.isEmpty()) << table.name << " " << id;
            EXPECT_NE(text, QStringLiteral("???")) << table.name << " " << id;
        }
    }
}
