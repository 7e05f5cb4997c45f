// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CManagerSession;

// Plugs "P&roperties" (enabled while a row is selected) and "&Options..." into the
// session's main frame. Call after the session's start-up succeeded.
void InstallPropertyCommands(CManagerSession& session);
