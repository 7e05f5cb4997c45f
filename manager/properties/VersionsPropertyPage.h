// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/properties/KeptVersions.h"
#include "manager/properties/PropertySheet.h"

#include <vector>

class QPushButton;
class QTreeWidget;

// The binding's kept copies, newest first. Restore and Open act at once, whatever the sheet
// ends with: Restore puts the chosen copy back as the PC document (its content kept first),
// Open hands the copy to the desktop's program for its type.
class CVersionsPropertyPage : public CPropertyPage {
    Q_OBJECT
public:
    // folder: the backup folder; empty when the store names none (the list stays empty).
    CVersionsPropertyPage(const CDocSynchEntry& record, const QString& folder, QWidget* parent = nullptr);

    void Restore();
    void OpenSelected();

protected:
    void OnInitDialog() override;

private:
    void Fill();
    const CKeptVersion* Selected() const;
    void UpdateButtons();

    CDocSynchEntry m_record;
    QString m_folder;
    std::vector<CKeptVersion> m_versions;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_open = nullptr;
};

// The side words the synchronizer writes in kept names, and the manager shows.
CKeptSideWords KeptSideWords();
