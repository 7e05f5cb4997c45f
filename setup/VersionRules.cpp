// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/VersionRules.h"

#include "common/VersionInfo.h"

#include <algorithm>
#include <limits>

int ParseVersion(const QString& text, VersionNumbers& numbers) {
    int count = 0;
    bool inNumber = false;
    for (const QChar c : text) {
        const bool digit = c >= u'0' && c <= u'9';
        if (!digit) {
            inNumber = false;
            continue;
        }
        if (!inNumber) {
            if (count == kMaxVersionNumbers)
                break;
            numbers[count++] = 0;
            inNumber = true;
        }
        uint32_t& n = numbers[count - 1];
        const uint64_t next = uint64_t(n) * 10 + uint64_t(c.unicode() - u'0');
        n = uint32_t(std::min<uint64_t>(next, std::numeric_limits<uint32_t>::max()));
    }
    return count;
}

bool VersionAtMost(const QString& a, const QString& b) {
    VersionNumbers na{};
    VersionNumbers nb{};
    const int ca = ParseVersion(a, na);
    const int cb = ParseVersion(b, nb);
    for (int i = 0; i < std::min(ca, cb); ++i) {
        if (na[i] != nb[i])
            return na[i] < nb[i];
    }
    return ca <= cb;
}

QString GetFileVersionString(const QString& path) {
    CVersionInfo info;
    if (!info.Open(path))
        return {};
    return info.GetString(QStringLiteral("FileVersion"));
}
