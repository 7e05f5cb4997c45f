// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

// A content fingerprint: XXH3-128 of a file's bytes. Invalid (all zero, valid false) when
// nothing was read.
struct CContentPrint {
    uint64_t high = 0;
    uint64_t low = 0;
    bool valid = false;

    // 32 lower-case hex digits; empty when invalid.
    QString ToText() const;
    friend bool operator==(const CContentPrint&, const CContentPrint&) = default;
};

// Fingerprints bytes as they pass, so that a copy knows what it wrote without reading it back.
class CContentHasher {
public:
    CContentHasher();
    ~CContentHasher();
    CContentHasher(const CContentHasher&) = delete;
    CContentHasher& operator=(const CContentHasher&) = delete;

    void Update(const void* data, std::size_t size);
    CContentPrint Digest() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// What the engine established of one file's content: its size, its modification time as the
// engine reports it for its side (on the handheld the local FILETIME that GetFileInfo gives, on
// the PC nanoseconds since 1970), and the fingerprint of exactly those bytes.
struct CFileFacts {
    uint64_t size = 0;
    uint64_t time = 0;
    CContentPrint print;
};

// A megabyte for moving a file's bytes, one per thread, allocated on first use and never zeroed:
// a fresh zeroed megabyte per small file cost more than reading the file.
std::span<char> ThreadIoBuffer();

// Reads the whole of fd (a regular file opened for reading, whose fstat was opened) from its
// start. 0, the errno of a read, or ESTALE when the file was written to meanwhile; facts.time
// is left to the caller.
int FingerprintOpenFile(int fd, const struct stat& opened, CFileFacts& facts);
