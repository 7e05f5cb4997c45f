// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Starts the synchronizer named by "SyncronizerPath" through the shell, for every enabled
// binding (entry < 0) or for one entry, without waiting for it. Shows the message for a
// missing path or a failed start; true when the shell took the request.
bool LaunchSynchronizer(QWidget* parent, int entry = -1);
