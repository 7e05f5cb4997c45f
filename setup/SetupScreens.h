// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QWidget>

#include <memory>

// Sample windows of every wizard page for the screenshots: the install error page with a
// typical copy failure, the second page also with its diagnostic lines and with a half-full
// bar. Each window owns its own context; building one touches no file and writes nothing.
QStringList SetupScreenNames();
// Null for a name not in SetupScreenNames().
std::unique_ptr<QWidget> CreateSetupScreen(const QString& name);
