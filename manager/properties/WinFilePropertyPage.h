// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/properties/FilePropertyPage.h"

class IConverterInterface;
class QLabel;

// Dialog 130: the PC side of a binding on the page's own record copy.
class CWinFilePropertyPage : public CFilePropertyPage {
    Q_OBJECT
public:
    static constexpr int kIdSize = 1003;

    // converters may be null: no conversion is offered.
    CWinFilePropertyPage(const CDocSynchEntry& record, IConverterInterface* converters, QWidget* parent = nullptr);

    const CDocSynchEntry& Record() const { return m_record; }

    void FillPcTypeList();
    // Another PC file or name through the save dialog (object name "ModifyPcFileDlg").
    void OnModifyPcFile();
    // The name the dialog returned, with the old name's extension in upper case appended
    // unless the new name holds it in lower or upper case already.
    static QString NameWithOldExtension(const QString& chosenName, const QString& oldName);

protected:
    void OnInitDialog() override;

private:
    void Refresh();

    CDocSynchEntry m_record;
    IConverterInterface* m_converters;
    QLabel* m_size = nullptr;
};
