// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/OptionPropSheet.h"

#include "common/Profile.h"
#include "manager/PropertyStrings.h"
#include "manager/Strings.h"
#include "manager/properties/AutoSyncPropertyPage.h"
#include "manager/properties/SyncRulesPropertyPage.h"

#include <QTabWidget>

namespace {
CDocSynchEntry RulesRecord(const CRuleSet& rules) {
    CDocSynchEntry record;
    record.CopyRule = rules.CopyRule;
    record.Prompt24Hrs = rules.Prompt24Hrs;
    record.KeepCopy = rules.KeepCopy;
    record.PromptBothChanged = rules.PromptBothChanged;
    return record;
}
}  // namespace

COptionPropSheet::COptionPropSheet(const CRuleSet& defaultRules, QWidget* parent)
    : CPropertySheet(LoadPropertyString(kIdsDovetailOptions), parent) {
    setObjectName(QStringLiteral("OptionPropSheet"));
    m_rules = new CSyncRulesPropertyPage(RulesRecord(defaultRules));
    m_autoSync = new CAutoSyncPropertyPage;
    AddPage(m_rules);
    AddPage(m_autoSync);
    SetCommit([this] { return CAppProfile().WriteDefaultRules(Rules()); });
    SetNotStoredText(LoadManagerString(kIdsCannotSaveOptions));
}

void COptionPropSheet::OnInitDialog() {
    TabWidget()->setTabText(0, LoadPropertyString(kIdsDefaultRulesTab));
}

CRuleSet COptionPropSheet::Rules() const {
    const CDocSynchEntry& record = m_rules->Record();
    return CRuleSet{record.CopyRule, record.Prompt24Hrs, record.PromptBothChanged, record.KeepCopy};
}

bool OnOptions(QWidget* parent, CRuleSet& defaultRules) {
    COptionPropSheet sheet(defaultRules, parent);
    if (sheet.exec() != QDialog::Accepted)
        return false;
    defaultRules = sheet.Rules();
    return true;
}
