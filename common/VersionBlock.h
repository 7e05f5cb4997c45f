// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Pure readers over untrusted bytes: every offset is checked before it is read, so a
// truncated or hostile input fails cleanly.

// Looks up a path such as "\VarFileInfo\Translation" or "\StringFileInfo\040904e4\ProductVersion"
// in a version block (key match ignores ASCII case); "\" alone yields the root value. out
// receives the raw value bytes (UTF-16LE text with its NUL for text values).
bool VerQueryValue(const QByteArray& block, const QString& subBlock, QByteArray& out);

// Finds the named section in an ELF image (32 or 64 bit, little-endian) and copies its bytes.
bool FindElfSection(const QByteArray& image, const QByteArray& sectionName, QByteArray& out);

// The section the build embeds the version block in.
inline constexpr char kVersionSectionName[] = ".dtversion";
