// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/DocSynchEntry.h"
#include "manager/properties/PropertySheet.h"

class CAutoSyncPropertyPage;
class CSyncRulesPropertyPage;

// "Dovetail Options": the default rules of new bindings, then automatic synchronization.
class COptionPropSheet : public CPropertySheet {
    Q_OBJECT
public:
    explicit COptionPropSheet(const CRuleSet& defaultRules, QWidget* parent = nullptr);

    CSyncRulesPropertyPage* RulesPage() const { return m_rules; }
    CAutoSyncPropertyPage* AutoSyncPage() const { return m_autoSync; }
    // The four rules as the rules page holds them now.
    CRuleSet Rules() const;

protected:
    void OnInitDialog() override;

private:
    CSyncRulesPropertyPage* m_rules = nullptr;
    CAutoSyncPropertyPage* m_autoSync = nullptr;
};

// Shows the options sheet. On OK the rules are stored in the profile's "Settings" (existing
// bindings keep theirs) and become defaultRules; returns true. A store that does not take them
// keeps the sheet open with a message. Cancel changes and writes nothing.
bool OnOptions(QWidget* parent, CRuleSet& defaultRules);
