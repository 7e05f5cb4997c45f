// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/properties/FilePropertyPage.h"

class IConverterInterface;

// Dialog 132: the EPOC side of a binding on the page's own record copy.
class CEpocFilePropertyPage : public CFilePropertyPage {
    Q_OBJECT
public:
    // converters may be null: no conversion is offered.
    CEpocFilePropertyPage(const CDocSynchEntry& record, IConverterInterface* converters, QWidget* parent = nullptr);

    const CDocSynchEntry& Record() const { return m_record; }

    void FillEpocTypeList();
    // Another EPOC file through the suite's chooser; its registered type, when it has one,
    // becomes the EPOC type.
    void OnModifyEpocFile();

protected:
    void OnInitDialog() override;

private:
    void Refresh();

    CDocSynchEntry m_record;
    IConverterInterface* m_converters;
};
