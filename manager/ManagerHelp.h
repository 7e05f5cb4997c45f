// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

// The manager's help file, beside the program.
QString ManagerHelpFile();
// Opens the contents of the manager's help file; context 0 means the contents page.
bool OpenManagerHelp(QWidget* parent, uint32_t context = 0);
// Replaces the help viewer (tests record the requests). An empty opener restores the default.
using HelpOpener = std::function<bool(QWidget*, const QString& file, uint32_t context)>;
void SetHelpOpener(HelpOpener opener);
