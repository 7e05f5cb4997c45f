// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

struct sqlite3;

// Holds a write transaction on the store at path through a connection of its own, as another
// program in the middle of a write does: every write of the registry's connections then fails
// as busy, while reads still answer. The registry's busy wait is cut to waitMs meanwhile, so
// each failing write costs that long instead of ten seconds. Released when the object goes.
class CStoreWriteHold {
public:
    explicit CStoreWriteHold(const QString& path, int waitMs = 100);
    ~CStoreWriteHold();
    CStoreWriteHold(const CStoreWriteHold&) = delete;
    CStoreWriteHold& operator=(const CStoreWriteHold&) = delete;

    bool IsHeld() const { return m_held; }
    // Ends the transaction early; the busy wait goes back to its normal length.
    void Release();

private:
    sqlite3* m_db = nullptr;
    bool m_held = false;
};
