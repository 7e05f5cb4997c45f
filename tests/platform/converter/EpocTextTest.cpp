// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/converter/EpocText.h"

#include "platform/engine/EpocUid.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(EpocTextTest, RoundTripsOrdinaryText) {
    const QString rows[] = {
        QString(),
        u"plain ASCII"_s,
        u"line one\nline two\n"_s,
        u"\n\n\nblank lines\n\n"_s,
        u"no final newline"_s,
        u"Caf\u00e9 na\u00efve \u00c5ngstr\u00f6m \u00df \u00ff"_s,
        u"\u20ac 5 \u2013 \u201cquoted\u201d \u2026 \u0152uvre \u2122 \u0178"_s,
        u"tabs\tand\tcontrol \u0001 bytes"_s,
    };
    for (const QString& text : rows) {
        QString back;
        ASSERT_TRUE(DecodeEpocText(EncodeEpocText(text), back)) << text.toStdString();
        EXPECT_EQ(back, text) << text.toStdString();
    }
}

TEST(EpocTextTest, BodyUsesParagraphDelimitersAndCp1252) {
    const QByteArray data = EncodeEpocText(u"A\nB\nC\u20ac\u00e9\r"_s);
    ASSERT_EQ(data.size(), kEpocFileHeaderSize + 8);
    EXPECT_EQ(data.mid(kEpocFileHeaderSize), QByteArray("A\x06"
                                                        "B\x06"
                                                        "C\x80\xe9\r"));
    EXPECT_EQ(EncodeEpocText(u"\u0081\u008d"_s).mid(kEpocFileHeaderSize), QByteArray("\x81\x8d"));
}

// What CP1252 cannot give back exactly goes to the handheld as UTF-8 and returns unchanged.
TEST(EpocTextTest, TextBeyondCp1252RoundTripsAsUtf8) {
    const QString rows[] = {
        u"\u65e5\u672c"_s,
        u"a\U0001F600b"_s,
        u"x\u0006y"_s,  // would read back as a paragraph
        u"\u0080"_s,    // C1 control whose byte means the euro sign
        u"one\r\ntwo\r\n"_s,
        u"\u00ef\u00bb\u00bfstarts like the mark"_s,
        u"mixed \u20ac and \u0416\n"_s,
    };
    for (const QString& text : rows) {
        const QByteArray data = EncodeEpocText(text);
        EXPECT_EQ(data.mid(kEpocFileHeaderSize), "\xEF\xBB\xBF" + text.toUtf8()) << text.toStdString();
        QString back;
        ASSERT_TRUE(DecodeEpocText(data, back)) << text.toStdString();
        EXPECT_EQ(back, text) << text.toStdString();
    }
}

// Files written before the UTF-8 form existed read as they always did.
TEST(EpocTextTest, EightBitFilesStayReadable) {
    const QByteArray old =
        MakeEpocFileHeader(kEpocTextUid1, kEpocTextUid2, kEpocTextUid3) + QByteArray("caf\xe9\x06\x80 ??\x06");
    QString text;
    ASSERT_TRUE(DecodeEpocText(old, text));
    EXPECT_EQ(text, u"caf\u00e9\n\u20ac ??\n"_s);
}

TEST(EpocTextTest, EveryCp1252ByteSurvivesTheWayBack) {
    // All but 0x0A, which reads as a line break and returns as a paragraph delimiter.
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != 0x0A)
            all.append(char(b));
    }
    EXPECT_EQ(EncodeCp1252Text(DecodeCp1252Text(all)), all);
}

TEST(EpocTextTest, RejectsWhatIsNotEpocText) {
    QByteArray good = EncodeEpocText(u"hello"_s);
    QByteArray badChecksum = good;
    badChecksum[12] = char(badChecksum[12] ^ 1);
    const QByteArray otherType = MakeEpocFileHeader(kEpocTextUid1, kEpocTextUid2, 0x10001234) + "hello";
    QString out = u"unchanged"_s;
    EXPECT_FALSE(DecodeEpocText(good.left(15), out));
    EXPECT_FALSE(DecodeEpocText(badChecksum, out));
    EXPECT_FALSE(DecodeEpocText(otherType, out));
    EXPECT_FALSE(DecodeEpocText(QByteArray("hello, plain text file"), out));
    EXPECT_EQ(out, u"unchanged"_s);

    uint32_t u1 = 0, u2 = 0, u3 = 0;
    ASSERT_TRUE(ReadEpocFileHeader(otherType, u1, u2, u3));
    EXPECT_EQ(u3, 0x10001234u);
}

TEST(EpocTextTest, ChecksumKnownValues) {
    // CRC-CCITT over alternating bytes: a last even byte of 1 gives the polynomial in the
    // low half, a last odd byte of 1 in the high half.
    EXPECT_EQ(ComputeEpocUidChecksum(0, 0, 0), 0u);
    EXPECT_EQ(ComputeEpocUidChecksum(0, 0, 0x00010000), 0x00001021u);
    EXPECT_EQ(ComputeEpocUidChecksum(0, 0, 0x01000000), 0x10210000u);
    EXPECT_EQ(ComputeEpocUidChecksum(0, 0, 0x00000001), 0x00003331u);
}

TEST(EpocTextTest, EngineReadsTheTypeOfWrittenFiles) {
    const QByteArray data = EncodeEpocText(u"x"_s);
    EpocUids uids{};
    ASSERT_TRUE(ParseEpocHeader(data.constData(), size_t(data.size()), uids));
    EXPECT_EQ(uids, (EpocUids{kEpocTextUid1, kEpocTextUid2, kEpocTextUid3}));
}

}  // namespace
