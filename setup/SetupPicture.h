// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>
#include <QSize>

// The picture at the left of every wizard page: two boards joined by a dovetail, a PC
// at one end and the handheld at the other. Drawn, so no image file has to ship.
QPixmap SetupPicture(const QSize& size);
