// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

class QWidget;

enum class HelpCommand { Context, Contents };

// Opens the help viewer on helpFile at a topic (Context) or at its first topic (Contents).
// One viewer window serves the whole program and is reused. A file or topic that cannot be
// found is reported inside the viewer and the result is false; nothing else happens.
bool WinHelp(QWidget* parent, const QString& helpFile, HelpCommand command, uint32_t context);
