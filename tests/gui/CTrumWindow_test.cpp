#include "controls/CTrumWindow.h"
#include "tests/support/qt/PumpUntil.h"

#include <QImage>
#include <QPaintEvent>
#include <QWindow>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

const QRgb kBar = qRgb(60, 210, 250);
const QRgb kBack = qRgb(0, 0, 0);

std::vector<float> Buffer(std::initializer_list<std::pair<int, float>> set) {
    std::vector<float> values(512, 0.0f);
    for (const auto& [i, v] : set)
        values[static_cast<size_t>(i)] = v;
    return values;
}

QImage Render(CTrumWindow& window) {
    QImage image(CTrumWindow::kWidth, CTrumWindow::kHeight, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    window.render(&image);
    return image;
}

// Every pixel of the window against the heights the window reports.
void ExpectPainted(CTrumWindow& window) {
    const QImage image = Render(window);
    for (int x = 0; x < CTrumWindow::kWidth; ++x) {
        const int i = x / 5;
        const bool inBar = x % 5 < 4;
        for (int y = 0; y < CTrumWindow::kHeight; ++y) {
            const int bar = window.BarHeight(i);
            const int peak = window.PeakHeight(i);
            const bool lit = inBar && (y == 24 - peak || (y >= 24 - bar && y <= 23));
            ASSERT_EQ(image.pixel(x, y), lit ? kBar : kBack) << "x " << x << " y " << y;
        }
    }
}

TEST(CTrumWindow, LevelsAreLinearUpTo18) {
    const struct {
        float value;
        int level;
    } cases[] = {{0.06f, 18},
                 {0.5f, 18},
                 {0.003f, 0},
                 {0.0f, 0},
                 {-0.03f, 9},
                 {0.0034f, 1},
                 {-0.06f, 18},
                 {0.01f, 3},
                 {-0.0001f, 0},
                 {1e30f, 18},
                 {std::numeric_limits<float>::infinity(), 18},
                 {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CTrumWindow::LevelOf(c.value), c.level) << c.value;
}

TEST(CTrumWindow, BarsAndPeaksArePaintedPixelExact) {
    CTrumWindow window;
    EXPECT_EQ(window.size(), QSize(270, 25));
    ExpectPainted(window); // at rest: only the base line of peak marks on row 24

    window.Update(Buffer({{0, 0.06f}, {1, 0.03f}, {2, -0.0034f}, {53, 0.2f}, {54, 1.0f}}));
    EXPECT_EQ(window.BarHeight(0), 18);
    EXPECT_EQ(window.BarHeight(1), 9);
    EXPECT_EQ(window.BarHeight(2), 1);
    EXPECT_EQ(window.BarHeight(53), 18);
    EXPECT_EQ(window.BarHeight(3), 0);
    ExpectPainted(window);
    const QImage image = Render(window);
    EXPECT_EQ(image.pixel(0, 6), kBar); // top of a full bar
    EXPECT_EQ(image.pixel(0, 5), kBack);
    EXPECT_EQ(image.pixel(4, 20), kBack);  // the gap column
    EXPECT_EQ(image.pixel(269, 6), kBack); // last bar ends at column 268
    EXPECT_EQ(image.pixel(268, 6), kBar);

    // One update later the bars have fallen 3 and the peaks 1: a dark row between them.
    window.Update(Buffer({}));
    EXPECT_EQ(window.BarHeight(0), 15);
    EXPECT_EQ(window.PeakHeight(0), 17);
    ExpectPainted(window);
    const QImage fallen = Render(window);
    EXPECT_EQ(fallen.pixel(1, 7), kBar); // the peak mark
    EXPECT_EQ(fallen.pixel(1, 8), kBack);
    EXPECT_EQ(fallen.pixel(1, 9), kBar); // the bar's top
}

TEST(CTrumWindow, BarsFallWithinSixUpdatesAndPeaksWithinEighteen) {
    CTrumWindow window;
    std::vector<float> full(512, 0.5f);
    window.Update(full);
    const std::vector<float> silence(512, 0.0f);
    for (int update = 1; update <= 18; ++update) {
        window.Update(silence);
        for (int i = 0; i < CTrumWindow::kBarCount; ++i) {
            ASSERT_EQ(window.BarHeight(i), std::max(0, 18 - 3 * update)) << update;
            ASSERT_EQ(window.PeakHeight(i), 18 - update) << update;
        }
    }
    ExpectPainted(window);
}

TEST(CTrumWindow, RisingValuesJumpAtOnce) {
    CTrumWindow window;
    window.Update(Buffer({{7, 0.01f}}));
    window.Update(Buffer({{7, 0.05f}}));
    EXPECT_EQ(window.BarHeight(7), 15);
    EXPECT_EQ(window.PeakHeight(7), 15);
    const float few[3] = {0.06f, 0.06f, 0.06f}; // a short buffer: the rest count as 0
    window.Update(few);
    EXPECT_EQ(window.BarHeight(2), 18);
    EXPECT_EQ(window.BarHeight(7), 12);
}

TEST(CTrumWindow, ResetDropsEverythingAtOnce) {
    CTrumWindow window;
    window.Update(std::vector<float>(512, 0.06f));
    window.Reset();
    for (int i = 0; i < CTrumWindow::kBarCount; ++i) {
        EXPECT_EQ(window.BarHeight(i), 0);
        EXPECT_EQ(window.PeakHeight(i), 0);
    }
    ExpectPainted(window);
}

TEST(CTrumWindow, RepaintsOnlyTheBarsThatChanged) {
    struct : CTrumWindow {
        QRegion painted;
        void paintEvent(QPaintEvent* event) override {
            painted += event->region();
            CTrumWindow::paintEvent(event);
        }
    } window;
    window.show();
    ASSERT_TRUE(PumpUntil([&] { return window.windowHandle()->isExposed(); }));
    window.painted = QRegion();
    window.Update(Buffer({{3, 0.06f}, {40, 0.01f}}));
    window.Update(Buffer({{40, 0.01f}})); // bar 3 falls, bar 40 holds
    EXPECT_EQ(window.painted, QRegion(15, 0, 5, 25) + QRect(200, 0, 5, 25));
    window.Reset();
    window.painted = QRegion();
    window.Reset(); // at rest: nothing to paint
    EXPECT_TRUE(window.painted.isEmpty());
}

} // namespace
