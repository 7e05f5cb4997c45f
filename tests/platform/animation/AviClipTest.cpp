// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/animation/AviClip.h"
#include "platform/animation/AviWriter.h"

#include "tests/support/TempEnv.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QList<QRgb> kColours = {qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),
                              qRgb(0, 0, 255),     qRgb(255, 255, 0), qRgb(0, 0, 0)};

// Frame i: background with a coloured bar whose colour and place depend on i, so a frame
// decoded out of order or upside down is noticed.
QList<QImage> MakeFrames(int count, QSize size = {9, 5}) {
    QList<QImage> frames;
    for (int i = 0; i < count; ++i) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(kColours[0]);
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, i % size.height(), kColours[1 + i % 4]);
        image.setPixel(size.width() - 1, size.height() - 1, kColours[5]);
        frames.append(image);
    }
    return frames;
}

QByteArray MakeClip(int bits, bool rle, int frames = 4) {
    CAviWriteOptions options;
    options.BitCount = bits;
    options.Rle8 = rle;
    options.Palette = kColours;
    return WriteAvi(MakeFrames(frames), options);
}

qsizetype Find(const QByteArray& data, const char* code) {
    return data.indexOf(QByteArray(code, 4));
}

void Poke32(QByteArray& data, qsizetype at, uint32_t value) {
    qToLittleEndian(value, data.data() + at);
}

struct FormatRow {
    const char* name;
    int bits;
    bool rle;
};

class AviRoundTrip : public ::testing::TestWithParam<FormatRow> {};

TEST_P(AviRoundTrip, FramesDecodeInOrderWithTheirPictures) {
    const FormatRow row = GetParam();
    const QList<QImage> expected = MakeFrames(6);
    CAviWriteOptions options;
    options.BitCount = row.bits;
    options.Rle8 = row.rle;
    options.Palette = kColours;
    options.FrameIntervalMs = 125;
    CAviClip clip;
    const CAviResult parsed = ParseAvi(WriteAvi(expected, options), clip);
    ASSERT_TRUE(parsed) << parsed.Message.toStdString();
    ASSERT_EQ(clip.FrameCount(), 6);
    EXPECT_EQ(clip.FrameIntervalMs, 125);
    QImage canvas;
    for (int i = 0; i < clip.FrameCount(); ++i) {
        ASSERT_TRUE(DecodeAviFrame(clip, i, canvas));
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const QRgb got = canvas.pixel(x, y), want = expected[i].pixel(x, y);
                // 5-bit channels lose the low three bits.
                const int tolerance = row.bits == 16 ? 8 : 0;
                ASSERT_LE(std::abs(qRed(got) - qRed(want)), tolerance) << "frame " << i << " at " << x << "," << y;
                ASSERT_LE(std::abs(qGreen(got) - qGreen(want)), tolerance);
                ASSERT_LE(std::abs(qBlue(got) - qBlue(want)), tolerance);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, AviRoundTrip,
                         ::testing::Values(FormatRow{"Rle8", 8, true}, FormatRow{"Rgb8", 8, false},
                                           FormatRow{"Rgb16", 16, false}, FormatRow{"Rgb24", 24, false},
                                           FormatRow{"Rgb32", 32, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviClip, EveryTruncationIsRefusedWithoutCrashing) {
    for (bool rle : {false, true}) {
        const QByteArray whole = MakeClip(8, rle);
        for (qsizetype n = 0; n < whole.size(); ++n) {
            CAviClip clip;
            // A detached copy so that sanitizers catch any read past the shortened data.
            const QByteArray prefix(whole.constData(), n);
            EXPECT_FALSE(ParseAvi(prefix, clip)) << "prefix of " << n << " bytes accepted";
        }
    }
}

struct LieRow {
    const char* name;
    std::function<void(QByteArray&)> damage;
};

TEST(AviClip, FilesThatLieAboutSizesAreRefused) {
    const LieRow rows[] = {
        {"garbage", [](QByteArray& d) { d = QByteArray(300, '\x5a'); }},
        {"not AVI form", [](QByteArray& d) { d.replace(8, 4, "WAVE"); }},
        {"riff larger than file", [](QByteArray& d) { Poke32(d, 4, uint32_t(d.size())); }},
        {"frame chunk past its list", [](QByteArray& d) { Poke32(d, Find(d, "00dc") + 4, 0x7FFFFFF0); }},
        {"huge frame size",
         [](QByteArray& d) {
             const qsizetype strf = Find(d, "strf") + 8;
             Poke32(d, strf + 4, 100000);
             Poke32(d, strf + 8, 100000);
         }},
        {"frames shorter than the picture",
         [](QByteArray& d) {
             const qsizetype strf = Find(d, "strf") + 8;
             Poke32(d, strf + 4, 64);  // wider than the stored rows
         }},
        {"palette larger than its chunk", [](QByteArray& d) { Poke32(d, Find(d, "strf") + 8 + 32, 255); }},
        {"header size beyond the format", [](QByteArray& d) { Poke32(d, Find(d, "strf") + 8, 4000); }},
        {"unsupported compression", [](QByteArray& d) { Poke32(d, Find(d, "strf") + 8 + 16, 0x34363248); }},
        {"frames of another stream only", [](QByteArray& d) { d.replace("00dc", "01dc"); }},
    };
    for (const LieRow& row : rows) {
        QByteArray data = MakeClip(8, false);
        row.damage(data);
        CAviClip clip;
        EXPECT_FALSE(ParseAvi(data, clip)) << row.name;
    }
}

TEST(AviClip, HostileRunLengthDataStaysInsideThePicture) {
    QByteArray data = MakeClip(8, true, 1);
    const qsizetype frame = Find(data, "00dc") + 8;
    const uint32_t size = qFromLittleEndian<uint32_t>(data.constData() + frame - 4);
    // Long runs, skips far beyond the picture and a literal run cut short by the chunk end.
    const char payload[] = {char(255), 3, char(255), 3, 0, 2, char(200), char(200), char(255), 4, 0, 0, 0, 9, 1};
    const qsizetype n = std::min<qsizetype>(sizeof(payload), size);
    data.replace(frame, n, QByteArray(payload, n));
    CAviClip clip;
    ASSERT_TRUE(ParseAvi(data, clip));
    QImage canvas;
    DecodeAviFrame(clip, 0, canvas);  // may fail; must not write outside the canvas
    EXPECT_EQ(canvas.size(), QSize(9, 5));
}

TEST(AviClip, LoadRefusesMissingAndOversizedFiles) {
    CTempEnv env;
    CAviClip clip;
    EXPECT_FALSE(LoadAviFile(env.Root() + u"/none.avi"_s, clip));
    const QString path = env.WriteFile(u"big.avi"_s, MakeClip(8, false));
    EXPECT_FALSE(LoadAviFile(path, clip, 100));
    EXPECT_TRUE(LoadAviFile(path, clip));
}

TEST(AviClip, BuiltClipsArePlayable) {
    for (const char* name : {"DOdivEdu.avi", "dtconnect.avi", "dtsync.avi"}) {
        CAviClip clip;
        const CAviResult r = LoadAviFile(BinDir() + u'/' + QString::fromLatin1(name), clip);
        ASSERT_TRUE(r) << name << ": " << r.Message.toStdString();
        EXPECT_GE(clip.FrameCount(), 10) << name;
        QImage canvas;
        for (int i = 0; i < clip.FrameCount(); ++i)
            ASSERT_TRUE(DecodeAviFrame(clip, i, canvas)) << name << " frame " << i;
    }
}

}  // namespace
