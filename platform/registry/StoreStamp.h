// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <cstring>

// A moment of the store as a connection can tell it cheaply. Every commit of any process
// rewrites the WAL index header in the shared-memory file (change counter, last frame,
// salts); reading it needs no system call. Where it cannot be read, PRAGMA data_version
// stands in (one statement).
struct StoreStamp {
    bool valid = false;
    bool fromHeader = false;
    uint8_t header[48] = {};
    int64_t dataVersion = -1;
    uint64_t ownWrites = 0;

    // Read right after exactly one commit on top of before: the header's change counter (bytes
    // 8 to 11) moved by one. Commits alone move it; a checkpoint does not.
    bool OneCommitAfter(const StoreStamp& before) const {
        if (!valid || !before.valid || !fromHeader || !before.fromHeader)
            return false;
        uint32_t was = 0;
        uint32_t now = 0;
        std::memcpy(&was, before.header + 8, sizeof was);
        std::memcpy(&now, header + 8, sizeof now);
        return now == was + 1;
    }
    bool operator==(const StoreStamp& o) const {
        return valid && o.valid && fromHeader == o.fromHeader && ownWrites == o.ownWrites &&
               (fromHeader ? std::memcmp(header, o.header, sizeof header) == 0 : dataVersion == o.dataVersion);
    }
};

// A read-only mapping of the WAL index header of a store ("<store>-shm"), unmapped when
// the object goes. Map only while a connection has the index open: it then stays alive and
// untruncated.
class CStoreIndexView {
public:
    CStoreIndexView() = default;
    ~CStoreIndexView() { Unmap(); }
    CStoreIndexView(const CStoreIndexView&) = delete;
    CStoreIndexView& operator=(const CStoreIndexView&) = delete;

    bool IsMapped() const { return m_map != nullptr; }
    // Maps the header once; false when the index does not exist yet or is too short.
    bool Map(const QString& storePath);
    void Unmap();
    // Fills stamp from the header. False while a commit is writing it: the stamp then stays
    // invalid, comparable to nothing.
    bool Read(StoreStamp& stamp) const;

private:
    void* m_map = nullptr;
};
