// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Desktop-session autostart entries ($XDG_CONFIG_HOME/autostart/<name>.desktop): what
// starts a program at log-on here, where a Run value in the registry starts nothing.

// The scheduler's entry, named like its Run value.
inline constexpr char kSchedulerAutostartName[] = "DTScheduler";

// Full path of the entry file for name (no extension).
QString AutostartEntryPath(const QString& name);
// The Exec line text that starts program without arguments: quoted and escaped as desktop
// entries require when the path holds reserved characters.
QString DesktopExecValue(const QString& program);
// Writes the entry whole (temporary file, then rename), creating the folder; false when it
// could not be written, leaving any earlier entry as it was. Where the package's launcher is
// recorded, the entry starts program through it and only while it is there.
bool WriteAutostartEntry(const QString& name, const QString& program);
// True when the entry is gone afterwards (also when there was none).
bool RemoveAutostartEntry(const QString& name);
