// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's copies of a run on their own, without the run around them: copies
// FROM/doc<i>.txt over TO/Doc<i> for i below COUNT, each as the engine copies a document
// (a new file, its data, optionally flushed, renamed over the old one), and prints the
// seconds taken. bench/run sets this beside a changed run to show what its copies alone cost.
// Usage: CopyFloor FROM TO COUNT flush|noflush
#include "platform/engine/FileCopy.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 5 || (std::strcmp(argv[4], "flush") != 0 && std::strcmp(argv[4], "noflush") != 0)) {
        std::fprintf(stderr, "usage: CopyFloor FROM TO COUNT flush|noflush\n");
        return 2;
    }
    const QByteArray from(argv[1]);
    const QByteArray to(argv[2]);
    const int count = std::atoi(argv[3]);
    const CopyFlush flush = std::strcmp(argv[4], "flush") == 0 ? CopyFlush::Yes : CopyFlush::No;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (const int32_t error = CopyFileAtomic(from + "/doc" + n + ".txt", to + "/Doc" + n, flush)) {
            std::fprintf(stderr, "CopyFloor: copy %d failed (%d)\n", i, int(error));
            return 1;
        }
    }
    std::printf("%.3f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
