// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// Registers the scheduler installed beside the system ("SchedulerAppPath") to start at
// log-on, as the "DTScheduler" Run value and as the desktop's autostart entry, and starts
// it now through start (the shell's open). Silent: without a scheduler path nothing
// happens, a failed Run write stops there, and the autostart entry and the start are best
// effort.
void RegisterScheduler(const std::function<void(const QString& path)>& start);
