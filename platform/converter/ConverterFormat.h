// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Helpers for the "display name\nclass identifier" format strings of the converters.

// Line n of a format string; a line that is not present is empty.
QString FormatLine(const QString& format, int line);
// True when line 0 or line 1 of the format equals type, ignoring case. Further lines are
// never compared, and an empty type never matches.
bool FormatMatches(const QString& format, const QString& type);
