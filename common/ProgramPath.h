// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The running program's file path; true when the system reported one.
bool GetProgramPath(QString& path);
// The program's folder ending with "/"; always true (empty when the path is unknown).
bool GetProgramFolder(QString& folder);
