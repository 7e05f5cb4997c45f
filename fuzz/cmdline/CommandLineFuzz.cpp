// SPDX-License-Identifier: GPL-3.0-or-later
// The synchronizer's command line: arguments separated by NUL bytes in the input.
#include "synchronizer/SyncCommandLineInfo.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList args;
    for (const QByteArray& part : QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0'))
        args << QString::fromUtf8(part);
    const CSyncCommandLineInfo info = CSyncCommandLineInfo::Parse(args);
    if (!info.singleBinding && !info.keyName.isEmpty())
        __builtin_trap();
    return 0;
}
