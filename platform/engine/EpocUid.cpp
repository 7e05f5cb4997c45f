// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/EpocUid.h"

#include <cstring>

namespace {

uint16_t CrcCcitt(const uint8_t* bytes, std::size_t count) {
    uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

void PutLe32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const uint8_t* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

}  // namespace

uint32_t EpocUidChecksum(uint32_t uid1, uint32_t uid2, uint32_t uid3) {
    uint8_t raw[12];
    PutLe32(raw, uid1);
    PutLe32(raw + 4, uid2);
    PutLe32(raw + 8, uid3);
    uint8_t even[6];
    uint8_t odd[6];
    for (int i = 0; i < 6; ++i) {
        even[i] = raw[2 * i];
        odd[i] = raw[2 * i + 1];
    }
    return uint32_t(CrcCcitt(even, 6)) | uint32_t(CrcCcitt(odd, 6)) << 16;
}

QByteArray MakeEpocHeader(const EpocUids& uids) {
    uint8_t raw[kEpocHeaderSize];
    PutLe32(raw, uids[0]);
    PutLe32(raw + 4, uids[1]);
    PutLe32(raw + 8, uids[2]);
    PutLe32(raw + 12, EpocUidChecksum(uids[0], uids[1], uids[2]));
    return QByteArray(reinterpret_cast<const char*>(raw), sizeof raw);
}

bool ParseEpocHeader(const char* data, std::size_t size, EpocUids& out) {
    if (!data || size < kEpocHeaderSize)
        return false;
    uint8_t raw[kEpocHeaderSize];
    std::memcpy(raw, data, sizeof raw);
    const EpocUids uids{GetLe32(raw), GetLe32(raw + 4), GetLe32(raw + 8)};
    if (GetLe32(raw + 12) != EpocUidChecksum(uids[0], uids[1], uids[2]))
        return false;
    out = uids;
    return true;
}
