// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/PropertyCommands.h"

#include "manager/CommandIds.h"
#include "manager/CommandTable.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/ManagerSession.h"
#include "manager/properties/ItemProperties.h"
#include "manager/properties/OptionPropSheet.h"

void AddItemPropertiesCommand(CCommandTable& commands, CDovetailManagerView& view) {
    CDovetailManagerView* list = &view;
    commands.Add(
        kCmdProperties, [list] { OnItemProperties(*list); }, [list] { return list->SelectedRow() >= 0; });
}

void InstallPropertyCommands(CManagerSession& session) {
    CMainFrame* frame = session.MainFrame();
    if (!frame)
        return;
    AddItemPropertiesCommand(frame->Commands(), *frame->View());
    frame->Commands().Add(kCmdOptions, [&session, frame] {
        CRuleSet rules = session.DefaultRules();
        if (OnOptions(frame, rules))
            session.SetDefaultRules(rules);
    });
    frame->UpdateCommandUi();
}
