// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>

// An EPOC file starts with a 16-byte header: three little-endian 32-bit UIDs that give the
// file's type, then their checksum. A header whose checksum does not match is no header.

inline constexpr std::size_t kEpocHeaderSize = 16;

using EpocUids = std::array<uint32_t, 3>;

// CRC-CCITT (polynomial 0x1021, initial value 0) over the even bytes of the twelve UID bytes
// gives the low half, over the odd bytes the high half.
uint32_t EpocUidChecksum(uint32_t uid1, uint32_t uid2, uint32_t uid3);

// The 16 header bytes for the given UIDs, checksum included.
QByteArray MakeEpocHeader(const EpocUids& uids);

// The UIDs of a valid header at the start of data; false (and out untouched) when data is
// shorter than a header or the checksum does not match.
bool ParseEpocHeader(const char* data, std::size_t size, EpocUids& out);
