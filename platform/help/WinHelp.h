// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>

#include <cstdint>

class QWidget;

enum class HelpCommand { Context, Contents };

// Opens the help viewer on helpFile at a topic (Context) or at its first topic (Contents).
// One viewer window serves the whole program and is reused. A file or topic that cannot be
// found is reported inside the viewer and the result is false; nothing else happens.
bool WinHelp(QWidget* parent, const QString& helpFile, HelpCommand command, uint32_t context);

// Where the help window goes, as a frame rectangle: beside the calling window's frame
// (right of it, else left of it, else against the screen's right edge), at the caller's
// height, and always wholly inside screen (the usable area of the caller's screen); a help
// window larger than the screen is made to fit.
QRect HelpWindowPlace(const QRect& callerFrame, const QSize& helpFrame, const QRect& screen);
