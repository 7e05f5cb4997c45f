// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The item that lists the manager inside the connectivity suite's explorer folder.
inline constexpr char kShellFolderClsid[] = "{F7F79B30-BA87-11d2-AA80-00C04F7199CF}";

QString ShellFolderKey();           // CLSID\{...}
QString ShellFolderOpenKey();       // CLSID\{...}\shell\open\command
QString ShellFolderNameSpaceKey();  // the suite's NameSpace key for the item

// Writes the five entries unless the open command is already registered; programPath is
// the manager's own path (empty: the entries naming it are left out). Write failures are
// ignored.
void RegisterShellFolder(const QString& appTitle, const QString& programPath);
