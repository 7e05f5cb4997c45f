// SPDX-License-Identifier: GPL-3.0-or-later
// The registry importer's parser over arbitrary bytes; what parses must also export and
// parse again to the same operations.
#include "platform/registry/RegFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<RegFileOp> ops;
    RegFileError error;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!ParseRegFile(input, ops, error)) {
        if (error.message.isEmpty())
            __builtin_trap();
        return 0;
    }
    for (const RegFileOp& op : ops) {
        if (op.kind == RegFileOp::Kind::SetValue) {
            RegValue v{op.name, op.type, op.data};
            const QByteArray name = op.name.isEmpty() ? QByteArray("@") : QByteArray("\"x\"");
            const QByteArray text = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n" + name + '=' + FormatRegValue(v, 3) + '\n';
            std::vector<RegFileOp> again;
            RegFileError againError;
            if (!ParseRegFile(text, again, againError) || again.size() != 2 || again[1].data != op.data ||
                again[1].type != op.type)
                __builtin_trap();
        }
    }
    return 0;
}
