// SPDX-License-Identifier: GPL-3.0-or-later
#include "manager/CommandTable.h"

void CCommandTable::Add(int id, Run run, Enabled enabled, bool costly) {
    m_commands[id] = Command{std::move(run), std::move(enabled), costly};
}

bool CCommandTable::IsEnabled(int id) const {
    const auto it = m_commands.find(id);
    if (it == m_commands.end())
        return false;
    return !it->second.enabled || it->second.enabled();
}

bool CCommandTable::IsCostly(int id) const {
    const auto it = m_commands.find(id);
    return it != m_commands.end() && it->second.costly;
}

void CCommandTable::Execute(int id) const {
    const auto it = m_commands.find(id);
    if (it == m_commands.end())
        return;
    // A copy: the command may replace itself or close the window that owns the table.
    const Command command = it->second;
    if ((!command.enabled || command.enabled()) && command.run)
        command.run();
}
