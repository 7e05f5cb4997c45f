// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's copies of a run on their own, without the run around them: copies
// FROM/doc<i>.txt over TO/Doc<i> for i below COUNT, each as the engine copies a document
// (a new file, its data, optionally flushed, renamed over the old one), and prints the
// seconds taken. bench/run sets this beside a run to show what its copies alone cost.
//   durable  what a run pays for its guarantee: each copy's data flushed before its rename, the
//            names made durable once at the end (the folder flushed)
//   flush    each copy's data flushed, names left to the file system
//   noflush  nothing flushed
// Usage: CopyFloor FROM TO COUNT durable|flush|noflush
#include "platform/base/UniqueFd.h"
#include "platform/engine/FileCopy.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

int main(int argc, char** argv) {
    const auto is = [&](const char* mode) { return argc == 5 && std::strcmp(argv[4], mode) == 0; };
    if (!is("durable") && !is("flush") && !is("noflush")) {
        std::fprintf(stderr, "usage: CopyFloor FROM TO COUNT durable|flush|noflush\n");
        return 2;
    }
    const QByteArray from(argv[1]);
    const QByteArray to(argv[2]);
    const int count = std::atoi(argv[3]);
    const CopyFlush flush = is("noflush") ? CopyFlush::No : CopyFlush::Yes;
    const NameFlush names = is("durable") ? NameFlush::Deferred : NameFlush::NewNames;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (const int32_t error =
                CopyFileAtomic(from + "/doc" + n + ".txt", to + "/Doc" + n, CopyOptions{flush, {}, false, names})) {
            std::fprintf(stderr, "CopyFloor: copy %d failed (%d)\n", i, int(error));
            return 1;
        }
    }
    if (names == NameFlush::Deferred) {
        const CUniqueFd folder(::open(to.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.IsValid() || FlushFolder(folder.Get()) != 0) {
            std::fprintf(stderr, "CopyFloor: the folder could not be flushed\n");
            return 1;
        }
    }
    std::printf("%.3f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}
