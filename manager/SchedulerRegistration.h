// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// What registering the scheduler came to, for the options page to say when it fell short.
struct SchedulerRegistration {
    QString path;          // "SchedulerAppPath"; empty when no scheduler is installed
    bool atLogOn = false;  // the Run value and the desktop's autostart entry were written
    bool started = false;  // start reported the program started
};

// Registers the scheduler installed beside the system ("SchedulerAppPath") to start at
// log-on, as the "DTScheduler" Run value and as the desktop's autostart entry, and starts
// it now through start (the shell's open; true when it started). Without a scheduler path
// nothing happens; a failed Run write stops there; the autostart entry and the start are
// tried whatever became of each other.
SchedulerRegistration RegisterScheduler(const std::function<bool(const QString& path)>& start);
