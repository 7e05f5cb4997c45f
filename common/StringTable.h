// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <utility>
#include <vector>

// A program's user-visible texts by number. Each program installs its own table at start-up.
class CStringTable {
public:
    // Adds the texts (UTF-8); an id given again replaces the earlier text.
    static void Install(const std::vector<std::pair<int, const char*>>& table);
    // Empty, and ok false, when the id has no text.
    static QString Load(int id, bool* ok = nullptr);
    static void Clear();
};

// Where a program keeps its application title (the framework's own title id).
inline constexpr int kIdsAppTitle = 0xE000;
