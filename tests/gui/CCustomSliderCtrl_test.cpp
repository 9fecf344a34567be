#include "controls/CCustomSliderCtrl.h"
#include "controls/Resources.h"
#include "platform/Messages.h"
#include "platform/RecordingTarget.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kProgressId = 1010;
constexpr int kWidth = 211; // the progress slider: 141 x 15 dialog units
constexpr int kHeight = 24;

void Mouse(QWidget& w, QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons held) {
    const QPointF at(x, kHeight / 2);
    QMouseEvent event(type, at, w.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}
void Press(QWidget& w, int x) {
    Mouse(w, QEvent::MouseButtonPress, x, Qt::LeftButton, Qt::LeftButton);
}
void MoveTo(QWidget& w, int x) {
    Mouse(w, QEvent::MouseMove, x, Qt::NoButton, Qt::LeftButton);
}
void Release(QWidget& w, int x) {
    Mouse(w, QEvent::MouseButtonRelease, x, Qt::LeftButton, Qt::NoButton);
}

class SliderTest : public ::testing::Test {
protected:
    SliderTest() : slider(205, 207, 206, 208, 209) {
        slider.resize(kWidth, kHeight);
        slider.SetPageSize(0); // as the main window sets it
        slider.SetNotifyTarget(&target, kProgressId);
    }
    int PostedPosition(size_t i = 0) const {
        const auto messages = target.Messages();
        return i < messages.size() ? static_cast<int>(messages[i].lParam) : -1;
    }
    RecordingTarget target;
    CCustomSliderCtrl slider;
};

TEST_F(SliderTest, GeometryIsTheTrackbarsWithBothAndNoTicks) {
    EXPECT_EQ(slider.ChannelRect(), QRect(8, 8, kWidth - 16, 4));
    slider.SetPos(50);
    // 11-pixel thumb centred on 8 + 195 * 50 / 100.
    EXPECT_EQ(slider.ThumbRect(), QRect(100, 0, 11, 21));
    EXPECT_EQ(slider.RangeMin(), 0);
    EXPECT_EQ(slider.RangeMax(), 100);
}

TEST_F(SliderTest, ClickReleaseSelectsTheClickedPlace) {
    // Channel 195 pixels wide centred in 211: offset = x - 8, position = trunc(offset * 100/195).
    const struct {
        int x;
        int position;
    } cases[] = {{2, 0}, {8, 0}, {105, 49}, {203, 100}, {209, 100}, {-30, 0}, {400, 100}};
    for (const auto& c : cases) {
        target.Clear();
        slider.SetPos(50);
        Press(slider, c.x);
        Release(slider, c.x);
        EXPECT_EQ(slider.Pos(), c.position) << "x " << c.x;
        ASSERT_EQ(target.Count(msg::kSliderRelease), 1) << "x " << c.x;
        EXPECT_EQ(target.Messages()[0].wParam, static_cast<std::uintptr_t>(kProgressId));
        EXPECT_EQ(PostedPosition(), c.position) << "x " << c.x;
    }
}

TEST_F(SliderTest, ClickOnTheThumbWithoutMovingUsesTheClickPoint) {
    slider.SetPos(50);
    Press(slider, 105); // inside the thumb
    Release(slider, 105);
    EXPECT_EQ(PostedPosition(), 49);
    EXPECT_FALSE(slider.ThumbDrag());
}

TEST_F(SliderTest, ThumbDragReportsWhereTheTrackbarLeftTheThumb) {
    slider.SetPos(50);
    Press(slider, 105);
    MoveTo(slider, 106);
    MoveTo(slider, 150);
    EXPECT_TRUE(slider.ThumbDrag());
    Release(slider, 150);
    // The trackbar rounds the dragged place (73); a click at 150 would have given 72.
    EXPECT_EQ(PostedPosition(), 73);
    EXPECT_EQ(slider.Pos(), 73);
    EXPECT_FALSE(slider.ThumbDrag());
    EXPECT_FALSE(slider.ButtonDown());
}

TEST_F(SliderTest, DragThatStartsBesideTheThumbAndPassesOverItIsAThumbDrag) {
    slider.SetPos(50);
    Press(slider, 20);
    MoveTo(slider, 60);
    MoveTo(slider, 104); // over the thumb
    MoveTo(slider, 180);
    Release(slider, 180);
    // The trackbar did not drag (the press missed the thumb): its own position is reported.
    EXPECT_EQ(PostedPosition(), 50);
    EXPECT_EQ(slider.Pos(), 50);
}

TEST_F(SliderTest, ThumbDragShowsThePositionInATipThatFollowsTheThumb) {
    slider.show();
    // Press at x, then moves to each place: the tip's text after each, "" while none shows.
    const struct {
        const char* what;
        int press;
        std::vector<int> moves;
        std::vector<const char*> tips;
    } cases[] = {
        {"drag", 105, {106, 150, 60}, {"50", "73", "27"}},
        {"click beside the thumb", 20, {}, {}},
        {"drag beside the thumb", 20, {104, 180}, {"", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        slider.SetPos(50);
        Press(slider, c.press);
        for (size_t i = 0; i < c.moves.size(); ++i) {
            MoveTo(slider, c.moves[i]);
            const QLabel* tip = slider.PositionTip();
            const bool shown = tip != nullptr && tip->isVisible();
            EXPECT_EQ(shown ? tip->text().toStdString() : "", c.tips[i]);
            if (!shown)
                continue;
            // Centred over the thumb and clear above it.
            const QRect thumb = slider.ThumbRect();
            const QPoint centre = slider.mapToGlobal(thumb.center());
            EXPECT_LE(std::abs(tip->geometry().center().x() - centre.x()), 1);
            EXPECT_LT(tip->geometry().bottom(), slider.mapToGlobal(thumb.topLeft()).y());
        }
        Release(slider, c.moves.empty() ? c.press : c.moves.back());
        EXPECT_TRUE(slider.PositionTip() == nullptr || !slider.PositionTip()->isVisible());
    }
}

TEST_F(SliderTest, MovingWithoutTheButtonIsNoDrag) {
    slider.SetPos(50);
    MoveTo(slider, 105);
    EXPECT_FALSE(slider.ThumbDrag());
}

TEST_F(SliderTest, OnePostPerReleaseEvenWithoutChange) {
    slider.SetPos(0);
    for (int i = 0; i < 3; ++i) {
        Press(slider, 2);
        Release(slider, 2);
    }
    EXPECT_EQ(target.Count(msg::kSliderRelease), 3);
    EXPECT_EQ(target.Messages().size(), 3u);
    // Other buttons are not releases of the slider.
    Mouse(slider, QEvent::MouseButtonPress, 50, Qt::RightButton, Qt::RightButton);
    Mouse(slider, QEvent::MouseButtonRelease, 50, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(target.Count(msg::kSliderRelease), 3);
}

TEST_F(SliderTest, NothingIsPostedWithoutTargetOrId) {
    slider.SetNotifyTarget(nullptr, kProgressId);
    Press(slider, 209);
    Release(slider, 209);
    EXPECT_EQ(slider.Pos(), 100);
    slider.SetNotifyTarget(&target, 0);
    Press(slider, 2);
    Release(slider, 2);
    EXPECT_EQ(slider.Pos(), 0);
    EXPECT_EQ(target.Messages().size(), 0u);
}

TEST_F(SliderTest, KeysAndTheWheelMoveItAndReportWhenLetGo) {
    // From 50. Steps: p press, r repeated press, u release, c Ctrl+press (Right when the value
    // is 0), w wheel delta, s the owner sets the position, f the focus leaves.
    const struct {
        std::vector<std::pair<char, int>> steps;
        int position;
        std::vector<int> posted;
    } cases[] = {
        {{{'p', Qt::Key_Right}, {'u', 0}}, 51, {51}},
        {{{'p', Qt::Key_Up}, {'u', Qt::Key_Up}}, 51, {51}},
        {{{'p', Qt::Key_Down}, {'u', Qt::Key_Down}}, 49, {49}},
        {{{'p', Qt::Key_PageUp}, {'u', Qt::Key_PageUp}}, 60, {60}},
        {{{'p', Qt::Key_End}, {'u', Qt::Key_End}}, 100, {100}},
        // Held: goes on from where it got, whatever the owner showed meanwhile.
        {{{'p', 0}, {'s', 10}, {'r', 0}, {'r', 0}, {'u', 0}}, 53, {53}},
        {{{'p', Qt::Key_Left}, {'f', 0}}, 49, {49}},
        {{{'c', 0}, {'u', 0}}, 50, {}}, // Ctrl+Right is the window's
        {{{'u', 0}}, 50, {}},
        {{{'w', 240}}, 52, {52}},
        {{{'w', -60}, {'w', -60}}, 49, {49}},
        {{{'s', 100}, {'w', 120}}, 100, {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        target.Clear();
        slider.SetPos(50);
        for (const auto& [kind, value] : cases[i].steps) {
            QFocusEvent out(QEvent::FocusOut);
            QWheelEvent wheel(QPointF(50, 10), QPointF(50, 10), QPoint(), QPoint(0, value),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QKeyEvent key(kind == 'u' ? QEvent::KeyRelease : QEvent::KeyPress,
                          value != 0 ? value : Qt::Key_Right,
                          kind == 'c' ? Qt::ControlModifier : Qt::NoModifier, QString(),
                          kind == 'r');
            if (kind == 's')
                slider.SetPos(value);
            else
                QApplication::sendEvent(&slider, kind == 'f'   ? static_cast<QEvent*>(&out)
                                                 : kind == 'w' ? static_cast<QEvent*>(&wheel)
                                                               : &key);
        }
        EXPECT_EQ(slider.Pos(), cases[i].position) << "case " << i;
        std::vector<int> posted;
        for (const auto& m : target.Messages())
            posted.push_back(static_cast<int>(m.lParam));
        EXPECT_EQ(posted, cases[i].posted) << "case " << i;
        EXPECT_FALSE(slider.Adjusting()) << "case " << i;
    }
}

TEST_F(SliderTest, PlainTrackbarPagesAndTakesTheWheel) {
    TrackBar bar;
    bar.resize(kWidth, kHeight);
    bar.SetPos(50);
    Press(bar, 20); // left of the thumb: one page (a fifth of the range) at once
    Release(bar, 20);
    EXPECT_EQ(bar.Pos(), 30);
    QWheelEvent wheel(QPointF(50, 10), bar.mapToGlobal(QPointF(50, 10)), QPoint(), QPoint(0, -240),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&bar, &wheel);
    EXPECT_EQ(bar.Pos(), 32);
}

TEST_F(SliderTest, ShowsTheHandCursor) {
    EXPECT_EQ(slider.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(SliderTest, PaintsTheFiveBitmapsInTheirPlaces) {
    slider.SetPos(50);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    slider.render(&image);

    const QImage back = Resources::LoadBitmap(205).toImage();
    const QImage middle = Resources::LoadBitmap(207).toImage();
    const QImage thumb = Resources::LoadBitmap(206).toImage();
    const QImage left = Resources::LoadBitmap(208).toImage();
    const QImage right = Resources::LoadBitmap(209).toImage();
    ASSERT_FALSE(thumb.isNull());

    // Background stretched over the control: nothing of the canvas shows through.
    EXPECT_EQ(image.pixel(0, 0), back.pixel(0, 0));
    EXPECT_EQ(image.pixel(kWidth - 1, kHeight - 1),
              back.pixel(back.width() - 1, back.height() - 1));
    // The channel: rows 6 and 7 (bottom edge on the channel rectangle's top, y 8).
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 30; ++x) {
            EXPECT_EQ(image.pixel(8 + x, 6 + row), left.pixel(x, row)) << x;
            EXPECT_EQ(image.pixel(kWidth - 8 - 30 + x, 6 + row), right.pixel(x, row)) << x;
        }
        EXPECT_EQ(image.pixel(38, 6 + row), middle.pixel(0, row));
        EXPECT_EQ(image.pixel(kWidth - 39, 6 + row), middle.pixel(29, row));
    }
    // Thumb: centred on the trackbar's thumb (100 + 11 / 2 - 5 / 2 = 103), 6 pixels down.
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(image.pixel(103 + x, 6 + y), thumb.pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(image.pixel(102, 10), back.pixel(0, 0));
    EXPECT_EQ(image.pixel(108, 10), back.pixel(0, 0));
}

} // namespace
