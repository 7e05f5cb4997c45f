// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether a PC file can be bound at all: its folder and its name must each read back from the
// store (a string of 260 bytes with its NUL, UTF-8), and the two together must fit the file
// specification the engine copies with. A path beyond either limit would be stored and then
// never synchronize: unreadable, or failing every copy as though the handheld were missing.
bool IsBindablePcPath(const QString& folder, const QString& name);
