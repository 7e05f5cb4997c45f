// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/chooser/FileDllLibrary.h"

#include <QString>

// A new EPOC file chooser from the suite's "ecfile.ocx", loaded once and kept loaded.
// Null, with error saying why, when the library cannot be loaded.
FileDllPtr CreateEpocChooser(QString& error);
