// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>
#include <cstdint>

inline constexpr int kMaxVersionNumbers = 10;
using VersionNumbers = std::array<uint32_t, kMaxVersionNumbers>;

// Every maximal run of decimal digits is one number, anything else separates; at most ten
// numbers are taken ("4.72.3110.1" and "1, 0, 0, 20" both give four). Returns the count.
// A number too large for 32 bits saturates.
int ParseVersion(const QString& text, VersionNumbers& numbers);

// True when version a is at most version b: the first differing pair decides, and when
// all common pairs are equal a must not have more numbers than b. An empty b fails.
bool VersionAtMost(const QString& a, const QString& b);

// The "FileVersion" text of the file's version block in its first translation; empty on
// any failure.
QString GetFileVersionString(const QString& path);
