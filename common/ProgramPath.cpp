// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/ProgramPath.h"

#include <unistd.h>

#include <vector>

bool GetProgramPath(QString& path) {
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (size_t(n) < buffer.size()) {
            path = QString::fromLocal8Bit(buffer.data(), qsizetype(n));
            return true;
        }
        // Possibly cut short: a longer path needs a larger buffer, never a truncated answer.
        if (buffer.size() >= (1u << 16))
            return false;
        buffer.resize(buffer.size() * 2);
    }
}

bool GetProgramFolder(QString& folder) {
    QString path;
    GetProgramPath(path);
    folder = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    return true;
}
