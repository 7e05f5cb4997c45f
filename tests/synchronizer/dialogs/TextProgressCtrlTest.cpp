// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchronizer/dialogs/TextProgressCtrl.h"

#include <QEvent>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

QImage Render(CTextProgressCtrl& ctrl, QColor underlay = Qt::magenta) {
    QImage image(ctrl.size(), QImage::Format_RGB32);
    image.fill(underlay);
    ctrl.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// Horizontal extent of the pixels that differ from the ground colour of their half.
struct Ink {
    int left = INT_MAX, right = -1, count = 0;
    int nearestToText = INT_MAX;  // smallest distance of an ink pixel from the text colour
};

int Distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

Ink FindInk(const QImage& image, int from, int to, QRgb ground, QRgb textColour) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = from; x < to; ++x) {
            const QRgb px = image.pixel(x, y) | 0xFF000000;
            if (px == ground)
                continue;
            ++ink.count;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.nearestToText = std::min(ink.nearestToText, Distance(px, textColour));
        }
    }
    return ink;
}

TEST(TextProgressCtrl, HalfwayPercentageIsSplitBetweenBothColours) {
    CTextProgressCtrl ctrl;
    ctrl.resize(200, 20);
    ctrl.SetRange(0, 10);
    ctrl.SetPos(5);
    const QImage image = Render(ctrl);
    const QRgb bar = ctrl.BarColour().rgb(), ground = ctrl.BackgroundColour().rgb();
    ASSERT_NE(bar, ground);
    EXPECT_EQ(image.pixel(99, 0), bar);
    EXPECT_EQ(image.pixel(100, 0), ground);

    // "50%": its left part in the background colour over the bar, its right part in the bar
    // colour over the background, centred in the control.
    const Ink left = FindInk(image, 0, 100, bar, ground);
    const Ink right = FindInk(image, 100, 200, ground, bar);
    ASSERT_GT(left.count, 0);
    ASSERT_GT(right.count, 0);
    // Glyphs are smoothed at their edges, but their strokes reach the text colour.
    EXPECT_LT(left.nearestToText, Distance(bar, ground) / 5);
    EXPECT_LT(right.nearestToText, Distance(bar, ground) / 5);
    EXPECT_NEAR((left.left + right.right) / 2.0, 100.0, 3.0);

    ctrl.SetShowText(false);
    EXPECT_EQ(FindInk(Render(ctrl), 0, 100, bar, ground).count, 0);
    EXPECT_EQ(FindInk(Render(ctrl), 100, 200, ground, bar).count, 0);
}

TEST(TextProgressCtrl, StatusTextReplacesThePercentage) {
    CTextProgressCtrl ctrl;
    ctrl.resize(200, 20);
    ctrl.SetRange(0, 4);
    const QRgb ground = ctrl.BackgroundColour().rgb();
    const Ink percent = FindInk(Render(ctrl), 0, 200, ground, 0);
    ctrl.SetWindowText(u"Looking for files to update with Alice..."_s);
    const Ink text = FindInk(Render(ctrl), 0, 200, ground, 0);
    EXPECT_GT(text.right - text.left, 3 * (percent.right - percent.left));
    EXPECT_EQ(ctrl.GetWindowText(), u"Looking for files to update with Alice..."_s);
}

TEST(TextProgressCtrl, EmptyRangeDrawsNothing) {
    CTextProgressCtrl ctrl;
    ctrl.resize(120, 16);
    for (auto [lower, upper] : {std::pair{0, 0}, std::pair{5, 2}}) {
        ctrl.SetRange(lower, upper);
        ctrl.SetPos(3);
        EXPECT_EQ(ctrl.FilledWidth(), 0);
        const QImage image = Render(ctrl, Qt::magenta);
        EXPECT_EQ(image.pixel(0, 0), QColor(Qt::magenta).rgb());
        EXPECT_EQ(image.pixel(119, 15), QColor(Qt::magenta).rgb());
        EXPECT_EQ(FindInk(image, 0, 120, QColor(Qt::magenta).rgb(), 0).count, 0);
    }
}

TEST(TextProgressCtrl, PositionsReturnThePreviousOneAndStayInsideTheBar) {
    CTextProgressCtrl ctrl;
    ctrl.resize(100, 10);
    ctrl.SetRange(0, 4);
    EXPECT_EQ(ctrl.SetPos(1), 0);
    EXPECT_EQ(ctrl.SetStep(2), 1);
    EXPECT_EQ(ctrl.StepIt(), 1);
    EXPECT_EQ(ctrl.GetPos(), 3);
    EXPECT_EQ(ctrl.FilledWidth(), 75);
    ctrl.SetPos(9);  // past the end: a full bar, not beyond it
    EXPECT_EQ(ctrl.FilledWidth(), 100);
    ctrl.SetPos(-3);
    EXPECT_EQ(ctrl.FilledWidth(), 0);
}

TEST(TextProgressCtrl, RepaintsOnlyWhenWhatItShowsChanges) {
    CTextProgressCtrl ctrl;
    ctrl.resize(200, 20);
    ctrl.SetRange(0, 1000);
    ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
    QCoreApplication::processEvents();
    PaintCounter paints;
    ctrl.installEventFilter(&paints);

    struct Step {
        const char* name;
        std::function<void()> change;
        int paints;
    };
    const Step steps[] = {
        {"position moves the bar", [&] { ctrl.SetPos(500); }, 1},
        {"same filled width", [&] { ctrl.SetPos(502); }, 0},
        {"same position", [&] { ctrl.SetPos(502); }, 0},
        {"new text", [&] { ctrl.SetWindowText(u"Connecting..."_s); }, 1},
        {"same text", [&] { ctrl.SetWindowText(u"Connecting..."_s); }, 0},
        {"show-text unchanged", [&] { ctrl.SetShowText(true); }, 0},
        {"show-text off", [&] { ctrl.SetShowText(false); }, 1},
        {"step within a pixel", [&] { ctrl.StepIt(); }, 0},
    };
    for (const Step& step : steps) {
        QTest::qWait(CTextProgressCtrl::kMinRepaintIntervalMs + 5);
        paints.count = 0;
        step.change();
        EXPECT_EQ(paints.count, step.paints) << step.name;
    }
}

// A run over a thousand bindings steps the bar a thousand times in well under a second; each
// immediate paint waits on the display, so a burst paints once and then its last state once.
TEST(TextProgressCtrl, ABurstOfChangesPaintsItsLastStateLater) {
    CTextProgressCtrl ctrl;
    ctrl.resize(600, 20);
    ctrl.SetRange(0, 1000);
    ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
    QTest::qWait(CTextProgressCtrl::kMinRepaintIntervalMs + 5);
    PaintCounter paints;
    ctrl.installEventFilter(&paints);

    for (int i = 1; i <= 1000; ++i)
        ctrl.StepIt();
    ctrl.SetWindowText(u"Synchronizing..."_s);
    const int during = paints.count;
    EXPECT_GE(during, 1);
    EXPECT_LE(during, 3);  // a loaded machine may stretch the burst past one interval
    QTest::qWait(CTextProgressCtrl::kMinRepaintIntervalMs * 4);
    EXPECT_EQ(paints.count, during + 1);

    // What was painted last is the final state: a repaint for it changes nothing.
    paints.count = 0;
    ctrl.SetPos(1000);
    EXPECT_EQ(paints.count, 0);
}

}  // namespace
