// SPDX-License-Identifier: GPL-3.0-or-later
// The converter control file parser over arbitrary bytes: it either accepts or names the
// fault, never both.
#include "platform/converter/ControlFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const ControlFileResult result = CControlFile::Parse(input, QStringLiteral("fuzz.ini"));
    if (result.ok == !result.error.isEmpty())
        __builtin_trap();
    return 0;
}
