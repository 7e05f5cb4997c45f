// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/properties/PropertySheet.h"

class QButtonGroup;
class QCheckBox;
class QRadioButton;

// Dialog 133: a binding's direction, prompts and backup. Every click goes into the page's
// own record copy at once; the caller takes the four rule fields from Record().
class CSyncRulesPropertyPage : public CPropertyPage {
    Q_OBJECT
public:
    static constexpr int kIdDeviceToPc = 1013;
    static constexpr int kIdPcToDevice = 1014;
    static constexpr int kIdNewest = 1015;
    static constexpr int kIdPrompt24Hrs = 1016;
    static constexpr int kIdPromptBothChanged = 1017;
    static constexpr int kIdKeepCopy = 1021;

    explicit CSyncRulesPropertyPage(const CDocSynchEntry& record, QWidget* parent = nullptr);

    const CDocSynchEntry& Record() const { return m_record; }

protected:
    void OnInitDialog() override;

private:
    QRadioButton* Radio(int id, const QString& text, int32_t rule);
    QCheckBox* Check(int id, const QString& text, bool CDocSynchEntry::*field);

    CDocSynchEntry m_record;
    QButtonGroup* m_direction = nullptr;
    QRadioButton* m_deviceToPc = nullptr;
    QRadioButton* m_pcToDevice = nullptr;
    QRadioButton* m_newest = nullptr;
    QCheckBox* m_prompt24Hrs = nullptr;
    QCheckBox* m_promptBothChanged = nullptr;
    QCheckBox* m_keepCopy = nullptr;
};
