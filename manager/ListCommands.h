// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CCommandTable;
class CDovetailManagerView;

// The list's own commands on the selected binding: Enable, Delete, Explore, Launch, Backups
// and Help. The view must outlive the table's use.
void AddListCommands(CCommandTable& commands, CDovetailManagerView& view);
