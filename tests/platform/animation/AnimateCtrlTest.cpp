// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/animation/AnimateCtrl.h"
#include "platform/animation/AviWriter.h"

#include "tests/support/TempEnv.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Frames of a single colour each, on a grey border that the control treats as background.
QString WriteNumberedClip(const CTempEnv& env, int count) {
    const QList<QRgb> palette = {qRgb(192, 192, 192), qRgb(10, 0, 0), qRgb(20, 0, 0), qRgb(30, 0, 0),
                                 qRgb(40, 0, 0),      qRgb(50, 0, 0), qRgb(60, 0, 0), qRgb(70, 0, 0)};
    QList<QImage> frames;
    for (int i = 0; i < count; ++i) {
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(palette[0]);
        for (int y = 2; y < 4; ++y)
            for (int x = 2; x < 6; ++x)
                image.setPixel(x, y, palette[1 + i]);
        frames.append(image);
    }
    CAviWriteOptions options;
    options.Palette = palette;
    options.Rle8 = true;
    options.FrameIntervalMs = 10;
    return env.WriteFile(u"clip.avi"_s, WriteAvi(frames, options));
}

TEST(AnimateCtrl, PlaysFramesInOrderThenRepeats) {
    CTempEnv env;
    CAnimateCtrl ctrl;
    ctrl.resize(40, 30);
    ctrl.show();
    ASSERT_TRUE(ctrl.Open(WriteNumberedClip(env, 5)));
    EXPECT_EQ(ctrl.CurrentFrame(), 0);

    QList<int> seen;
    QObject::connect(&ctrl, &CAnimateCtrl::FrameShown, [&](int i) {
        seen.append(i);
        EXPECT_EQ(qRed(ctrl.CurrentImage().pixel(3, 3)), 10 * (i + 1)) << "picture of frame " << i;
    });
    QSignalSpy stopped(&ctrl, &CAnimateCtrl::Stopped);
    ASSERT_TRUE(ctrl.Play(0, -1, 2));
    ASSERT_TRUE(stopped.wait(5000));
    EXPECT_EQ(seen, (QList<int>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4}));

    // The border colour of the first frame is left transparent.
    EXPECT_EQ(qAlpha(ctrl.CurrentImage().pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(ctrl.CurrentImage().pixel(3, 3)), 255);
}

TEST(AnimateCtrl, EndlessPlayKeepsGoingUntilClosed) {
    CTempEnv env;
    CAnimateCtrl ctrl;
    ASSERT_TRUE(ctrl.Open(WriteNumberedClip(env, 3)));
    QSignalSpy frames(&ctrl, &CAnimateCtrl::FrameShown);
    ASSERT_TRUE(ctrl.Play());
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() > 7, 5000);
    EXPECT_TRUE(ctrl.IsPlaying());
    ctrl.Close();
    EXPECT_FALSE(ctrl.IsPlaying());
    EXPECT_FALSE(ctrl.IsOpen());
    EXPECT_TRUE(ctrl.CurrentImage().isNull());
}

TEST(AnimateCtrl, UnplayableFilesLeaveTheControlEmpty) {
    CTempEnv env;
    CAnimateCtrl ctrl;
    ASSERT_TRUE(ctrl.Open(WriteNumberedClip(env, 3)));
    const QString bad[] = {env.Root() + u"/missing.avi"_s, env.WriteFile(u"text.avi"_s, "hello, not a clip"),
                           QString()};
    for (const QString& path : bad) {
        EXPECT_FALSE(ctrl.Open(path)) << path.toStdString();
        EXPECT_FALSE(ctrl.IsOpen());
        EXPECT_FALSE(ctrl.Play());
    }
}

}  // namespace
