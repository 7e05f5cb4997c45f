// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>

// Asks every process of this user that runs the program file at path to quit (SIGTERM),
// then waits up to timeout for them to end. Processes are matched by the file itself
// (device and inode), so a link or another spelling of the path finds them too. Returns how
// many were asked; 0 when none runs.
int EndRunningProgram(const QString& path, std::chrono::milliseconds timeout = std::chrono::seconds(3));
