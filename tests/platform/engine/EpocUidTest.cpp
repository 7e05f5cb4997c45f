// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/engine/EpocUid.h"

#include <gtest/gtest.h>

namespace {

TEST(EpocUidTest, HeaderRoundTripsAndRejectsDamage) {
    const EpocUids uids{0x10000037, 0x1000006D, 0x1000007F};
    const QByteArray header = MakeEpocHeader(uids);
    ASSERT_EQ(header.size(), 16);
    EpocUids read{};
    ASSERT_TRUE(ParseEpocHeader(header.constData(), std::size_t(header.size()), read));
    EXPECT_EQ(read, uids);
    // UIDs are little-endian.
    EXPECT_EQ(header.left(4), QByteArray("\x37\x00\x00\x10", 4));

    for (int i = 0; i < 16; ++i) {
        QByteArray damaged = header;
        damaged[i] = char(damaged[i] ^ 0x01);
        EpocUids untouched{1, 2, 3};
        EXPECT_FALSE(ParseEpocHeader(damaged.constData(), 16, untouched)) << "byte " << i;
        EXPECT_EQ(untouched, (EpocUids{1, 2, 3}));
    }
    EXPECT_FALSE(ParseEpocHeader(header.constData(), 15, read));
}

TEST(EpocUidTest, EvenBytesMakeTheLowHalfAndOddBytesTheHighHalf) {
    EXPECT_EQ(EpocUidChecksum(0, 0, 0), 0u);
    // Leading zero bytes leave a zero CRC alone, so the last even byte (byte 2 of uid3) or
    // the last odd byte (byte 3 of uid3) alone gives that byte's CRC in its half.
    EXPECT_EQ(EpocUidChecksum(0, 0, 0x00010000), 0x00001021u);
    EXPECT_EQ(EpocUidChecksum(0, 0, 0x01000000), 0x10210000u);
    EXPECT_EQ(EpocUidChecksum(0, 0, 0x80800000), 0x91889188u);
    EXPECT_EQ(EpocUidChecksum(0x10000037, 0x1000006D, 0x1000007F), 0x55089FFEu);
    const uint32_t base = EpocUidChecksum(0x10000037, 0x1000006D, 0x1000007F);
    // Byte 0 is even, byte 1 odd: each change touches only its own half.
    const uint32_t evenChanged = EpocUidChecksum(0x10000036, 0x1000006D, 0x1000007F);
    const uint32_t oddChanged = EpocUidChecksum(0x10000137, 0x1000006D, 0x1000007F);
    EXPECT_EQ(evenChanged >> 16, base >> 16);
    EXPECT_NE(evenChanged & 0xFFFF, base & 0xFFFF);
    EXPECT_EQ(oddChanged & 0xFFFF, base & 0xFFFF);
    EXPECT_NE(oddChanged >> 16, base >> 16);
}

}  // namespace
