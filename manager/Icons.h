// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

// The manager's images, drawn in code: program icons (128, 132, 133, 136), the 16 x 16
// toolbar buttons by command number, and the two 23 x 13 connection indicators.
QIcon ManagerIcon(int resourceId);
QIcon ToolbarIcon(int commandId);
QPixmap IndicatorBitmap(bool connected);
