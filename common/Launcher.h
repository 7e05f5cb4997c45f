// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The package's launcher. The programs run from the user's own suite folder, but every start
// from the desktop (the menu entries, the log-in start of the scheduler, the scheduler's start
// of the synchronizer) goes through the launcher that lives in the package: it brings the
// user's copies up to the package's version first, and once the package is removed it is gone,
// so nothing of the system starts any more. DTSetup records it when it installs from the
// package; an installation from elsewhere (a build tree) records none and starts directly.

// The recorded launcher's path; empty when none is recorded.
QString RecordedLauncher();
// Records path (empty: forgets it); false when the store cannot be written.
bool RecordLauncher(const QString& path);
// A launcher is recorded but no longer there: the package has been removed.
bool PackageRemoved();
// What starts program: the launcher with "--start" and program when one is recorded (also
// when it is gone: the start then fails, as it should), else program alone.
QStringList LaunchCommand(const QString& program);
