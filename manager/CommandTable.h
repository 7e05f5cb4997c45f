// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>

// The manager's commands: for each command number, how it runs and when it is enabled. The
// flows that own the commands fill it at start-up; menus, keys, the toolbar and the context
// menu reach a command only through here.
class CCommandTable {
public:
    using Run = std::function<void()>;
    using Enabled = std::function<bool()>;

    // enabled may be empty: the command is then always enabled. A costly enabling (it may
    // ask the user or close the manager) is evaluated only when its menu opens. Adding an id
    // again replaces it.
    void Add(int id, Run run, Enabled enabled = {}, bool costly = false);
    bool Contains(int id) const { return m_commands.contains(id); }
    // False for a command nobody added.
    bool IsEnabled(int id) const;
    bool IsCostly(int id) const;
    // Runs the command when it is enabled now; keys reach here whatever the menus show.
    void Execute(int id) const;

private:
    struct Command {
        Run run;
        Enabled enabled;
        bool costly = false;
    };
    std::map<int, Command> m_commands;
};
