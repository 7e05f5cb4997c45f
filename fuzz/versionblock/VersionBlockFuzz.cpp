// SPDX-License-Identifier: GPL-3.0-or-later
// The version reader over arbitrary bytes: first as a whole program file (ELF section
// lookup), then as a version block itself.
#include "common/VersionBlock.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray section;
    const QByteArray block = FindElfSection(input, kVersionSectionName, section) ? section : input;
    QByteArray out;
    if (VerQueryValue(block, QStringLiteral("\\VarFileInfo\\Translation"), out) && out.size() >= 4) {
        VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904e4\\ProductVersion"), out);
        VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904e4\\FileVersion"), out);
    }
    VerQueryValue(block, QStringLiteral("\\"), out);
    return 0;
}
