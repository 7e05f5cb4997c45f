// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CCommandTable;
class CDovetailManagerView;
class CManagerSession;

// "P&roperties": the selected binding's property sheet, enabled while a row is selected.
void AddItemPropertiesCommand(CCommandTable& commands, CDovetailManagerView& view);
// Properties and "&Options..." (the default rules, kept by the session) in the session's
// main frame. Call once the session's main frame exists.
void InstallPropertyCommands(CManagerSession& session);
