// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/Registry.h"

#include <QString>

// Deletes parent\name with everything below it, bottom-up. False only when the key does
// not exist; a sub-key that refuses deletion is stepped over, never retried, and then
// keeps its ancestors alive as well.
bool DeleteKeyTree(RegRoot root, const QString& parent, const QString& name);
