#include "controls/CoverLayout.h"

#include "controls/CPicture.h"

#include <QPainter>
#include <algorithm>

namespace CoverLayout {

Placement PlaceCover(int width, int height) {
    int side = std::max(0, std::min(width, height));
    int origin = kBoxLeft;
    if (side > kBoxSide)
        side = kBoxSide;
    else if (side < kBoxSide)
        origin = (kBoxSide - side) / 2 + kBoxLeft;
    Placement placement;
    placement.picture = QRect(origin, origin, side, side);
    placement.frame = QRect(origin - 1, origin - 1, side + 2, side + 2);
    return placement;
}

QRect PaintCover(QPainter& painter, const CPicture* cover) {
    QRect frame(kBoxLeft, kBoxTop, kBoxSide, kBoxSide);
    if (cover != nullptr)
        frame = PlaceCover(cover->width, cover->height).frame;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.fillRect(frame, Qt::white);
    painter.restore();
    if (cover != nullptr) {
        const QRect at = PlaceCover(cover->width, cover->height).picture;
        if (!at.isEmpty())
            cover->Draw(painter, at.x(), at.y(), at.width(), at.height());
    }
    return frame;
}

} // namespace CoverLayout
