#pragma once
#include <QRect>

class CPicture;
class QPainter;

// Where the main window puts its cover: a square of side min(width, height), at most 120,
// centred in the 120 x 120 box at (5, 5) when smaller, inside a 1-pixel white frame.
namespace CoverLayout {

constexpr int kBoxLeft = 5;
constexpr int kBoxTop = 5;
constexpr int kBoxSide = 120;

struct Placement {
    QRect picture; // where the picture is drawn, stretched to a square
    QRect frame;   // the white square drawn first: one pixel wider on every side
};

// For a picture of width x height pixels (0 x 0 when nothing ever loaded: a 2 x 2 frame at 64).
Placement PlaceCover(int width, int height);

// Paints the frame (filled white, as the window's default brush fills it) and the picture into
// it; without a picture object only the frame of the whole box. Returns the frame rectangle.
QRect PaintCover(QPainter& painter, const CPicture* cover);

} // namespace CoverLayout
