// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/properties/PropertyCommands.h"

#include "manager/CommandIds.h"
#include "manager/DovetailManagerView.h"
#include "manager/MainFrame.h"
#include "manager/ManagerSession.h"
#include "manager/properties/ItemProperties.h"
#include "manager/properties/OptionPropSheet.h"

void InstallPropertyCommands(CManagerSession& session) {
    CMainFrame* frame = session.MainFrame();
    if (!frame)
        return;
    frame->SetCommandHandler(
        kCmdProperties, [frame] { OnItemProperties(*frame->View()); },
        [frame] { return frame->View()->SelectedRow() >= 0; });
    frame->SetCommandHandler(kCmdOptions, [&session, frame] {
        CRuleSet rules = session.DefaultRules();
        if (OnOptions(frame, rules))
            session.SetDefaultRules(rules);
    });
}
