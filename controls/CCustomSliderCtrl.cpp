#include "controls/CCustomSliderCtrl.h"

#include "controls/Resources.h"
#include "platform/Messages.h"
#include "platform/NotifyTarget.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int kEndWidth = 30; // the channel's end pieces
constexpr int kDrawnChannelHeight = 2;
constexpr int kThumbTop = 6; // the thumb hangs this far below the control's top
} // namespace

CCustomSliderCtrl::CCustomSliderCtrl(int backgroundId, int channelMiddleId, int thumbId,
                                     int channelLeftId, int channelRightId, QWidget* parent)
    : TrackBar(parent), background(Resources::LoadBitmap(backgroundId)),
      channelMiddle(Resources::LoadBitmap(channelMiddleId)), thumb(Resources::LoadBitmap(thumbId)),
      channelLeft(Resources::LoadBitmap(channelLeftId)),
      channelRight(Resources::LoadBitmap(channelRightId)) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    SetToolTips(true); // both sliders' templates carry TBS_TOOLTIPS
}

void CCustomSliderCtrl::SetNotifyTarget(NotifyTarget* window, int id) {
    notifyWindow = window;
    notifyId = id;
}

int CCustomSliderCtrl::PositionFromClick(int x) const {
    const QRect channel = ChannelRect();
    const int lo = RangeMin();
    const int range = RangeMax() - lo;
    const float channelWidth = static_cast<float>(channel.width());
    if (channelWidth <= 0.0f)
        return lo;
    const float perPixel = static_cast<float>(range) / channelWidth;
    float offset = static_cast<float>(x) - (static_cast<float>(width()) - channelWidth) * 0.5f;
    if (offset < 0.0f)
        offset = 0.0f;
    // Compared in float first: far right of the control the product may not fit an int.
    const float step = perPixel * offset;
    const int steps = step >= static_cast<float>(range) ? range : static_cast<int>(step);
    return lo + std::min(range, steps);
}

void CCustomSliderCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    auto blit = [&p](const QRect& target, const QPixmap& bitmap) {
        if (!bitmap.isNull() && target.width() > 0 && target.height() > 0)
            p.drawPixmap(target, bitmap, bitmap.rect());
    };
    blit(rect(), background);

    const QRect channel = ChannelRect();
    const int left = channel.x();
    const int right = channel.x() + channel.width();
    const int y = channel.y() - kDrawnChannelHeight;
    blit(QRect(left, y, kEndWidth, kDrawnChannelHeight), channelLeft);
    blit(QRect(left + kEndWidth, y, channel.width() - 2 * kEndWidth, kDrawnChannelHeight),
         channelMiddle);
    blit(QRect(right - kEndWidth, y, kEndWidth, kDrawnChannelHeight), channelRight);

    const QRect t = ThumbRect();
    const int w = thumb.width();
    const int h = thumb.height();
    const int thumbLeft = t.x() + t.width() / 2 - w / 2;
    blit(QRect(thumbLeft, kThumbTop, w, h), thumb);
}

void CCustomSliderCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        buttonDown = true;
    TrackBar::mousePressEvent(event);
}

void CCustomSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    // The thumb as it stands before the trackbar moves it for this event.
    if (buttonDown && ThumbRect().contains(event->position().toPoint()))
        thumbDrag = 1;
    TrackBar::mouseMoveEvent(event);
}

void CCustomSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        TrackBar::mouseReleaseEvent(event);
        return;
    }
    buttonDown = false;
    int position;
    if (thumbDrag == 1) {
        position = Pos();
        thumbDrag = 0;
    } else {
        position = PositionFromClick(event->position().toPoint().x());
    }
    SetPos(position);
    if (notifyWindow != nullptr && notifyId != 0)
        notifyWindow->Post(msg::kSliderRelease, static_cast<std::uintptr_t>(notifyId), position);
    TrackBar::mouseReleaseEvent(event);
}

void CCustomSliderCtrl::wheelEvent(QWheelEvent* event) {
    event->accept();
}

void CCustomSliderCtrl::timerEvent(QTimerEvent*) {}
