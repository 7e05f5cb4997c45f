// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What bindcopy checks before its window: the store must be a registry (a damaged one is
// named, and left as it is) and the suite must be installed. Empty when the run may start,
// else the text of the stop box that ends the program.
QString SyncStartRefusal();
