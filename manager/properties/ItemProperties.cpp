// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/ItemProperties.h"

#include "common/ProfileRegistry.h"
#include "manager/BackupFolder.h"
#include "manager/ConversionList.h"
#include "manager/DovetailManagerDoc.h"
#include "manager/DovetailManagerView.h"
#include "manager/PropertyStrings.h"
#include "manager/Strings.h"
#include "manager/WaitCursor.h"
#include "manager/properties/EpocFilePropertyPage.h"
#include "manager/properties/PropertySheet.h"
#include "manager/properties/SyncRulesPropertyPage.h"
#include "manager/properties/VersionsPropertyPage.h"
#include "manager/properties/WinFilePropertyPage.h"

#include <QGuiApplication>

CDocSynchEntry MergeItemProperties(const CDocSynchEntry& opened, const CDocSynchEntry& rules,
                                   const CDocSynchEntry& winFile, const CDocSynchEntry& epocFile) {
    CDocSynchEntry result = opened;
    result.WinFileName = winFile.WinFileName;
    result.WinPath = winFile.WinPath;
    result.WinFileType = winFile.WinFileType;
    result.FileSize = winFile.FileSize;
    result.EpocFileName = epocFile.EpocFileName;
    result.EpocPath = epocFile.EpocPath;
    result.EpocFileType = epocFile.EpocFileType;
    result.CopyRule = rules.CopyRule;
    result.Prompt24Hrs = rules.Prompt24Hrs;
    result.PromptBothChanged = rules.PromptBothChanged;
    result.KeepCopy = rules.KeepCopy;
    return result;
}

bool EditBindingProperties(QWidget* parent, CDovetailManagerDoc& doc, int entry, IConverterInterface* converters) {
    CDocSynchEntry opened = doc.NewRecord();
    doc.ReadEntry(entry, opened);

    CPropertySheet sheet(LoadPropertyString(kIdsItemProperties), parent);
    sheet.setObjectName(QStringLiteral("ItemPropertiesSheet"));
    auto* rules = new CSyncRulesPropertyPage(opened);
    auto* winFile = new CWinFilePropertyPage(opened, converters);
    auto* epocFile = new CEpocFilePropertyPage(opened, converters);
    sheet.AddPage(rules);
    sheet.AddPage(winFile);
    sheet.AddPage(epocFile);
    // Its number names the kept copies that are this binding's.
    CDocSynchEntry numbered = opened;
    numbered.BindingNumber = entry;
    const BackupFolderResult backups = ResolveBackupFolder();
    sheet.AddPage(new CVersionsPropertyPage(numbered, backups.ok ? backups.folder : QString()));
    const QString area = QString::fromLatin1(kDocSynchArea);
    const QString key = QString::number(entry);
    sheet.SetCommit([&] {
        CDocSynchEntry record = MergeItemProperties(opened, rules->Record(), winFile->Record(), epocFile->Record());
        return RegTransaction([&] {
            // Read inside the write transaction: no synchronizer write can fall between the two.
            uint32_t number = 0;
            if (ReadEntryNumber(doc.User(), area, key, QStringLiteral("WasUpdated"), number))
                record.WasUpdated = number != 0;
            if (ReadEntryNumber(doc.User(), area, key, QStringLiteral("LastSyncTimeStamp"), number))
                record.LastSyncTimeStamp = number;
            return doc.UpdateEntry(entry, record);
        });
    });
    sheet.SetNotStoredText(LoadManagerString(kIdsCannotSaveProperties));
    return sheet.exec() == QDialog::Accepted;
}

void OnItemProperties(CDovetailManagerView& view) {
    const int entry = view.SelectedEntry();
    if (view.SelectedRow() < 0 || entry < 0)
        return;
    IConverterInterface* converters = nullptr;
    {
        const CWaitCursor wait;
        converters = ManagerConverters();
    }
    if (EditBindingProperties(&view, view.Document(), entry, converters))
        view.viewport()->update();
}
