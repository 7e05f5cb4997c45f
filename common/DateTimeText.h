// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

class QLocale;

// The time format without its time-zone field and the text that only brackets or separates
// it ("H:mm:ss (t)" gives "H:mm:ss"); quoted text is kept as it is.
QString TimeFormatWithoutZone(const QString& format);
// The date and time text the programs show (the manager's list and options, the
// synchronizer's prompts): the user's short date, one blank, the time with seconds.
QString FormatLocalDateTime(int64_t secondsUtc);
// The same in the given locale's formats.
QString FormatLocalDateTime(int64_t secondsUtc, const QLocale& locale);
