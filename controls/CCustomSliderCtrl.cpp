#include "controls/CCustomSliderCtrl.h"

#include "controls/FocusMark.h"
#include "controls/Resources.h"
#include "platform/Messages.h"
#include "platform/NotifyTarget.h"

#include <QKeyEvent>
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
      channelRight(Resources::LoadBitmap(channelRightId)), mark(new FocusMark(this)) {
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
    mark->Paint(p);
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
    Report(position);
    TrackBar::mouseReleaseEvent(event);
}

void CCustomSliderCtrl::Report(int position) {
    SetPos(position);
    if (notifyWindow != nullptr && notifyId != 0)
        notifyWindow->Post(msg::kSliderRelease, static_cast<std::uintptr_t>(notifyId), Pos());
}

void CCustomSliderCtrl::MoveTo(int position) {
    const int before = Pos();
    SetPos(position);
    if (Pos() != before)
        emit positionChanged(Pos());
}

void CCustomSliderCtrl::Choose(int pos) {
    MoveTo(pos);
    Report(Pos());
}

int CCustomSliderCtrl::KeyTarget(int key, int from) const {
    long long to = from;
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Up:
        to += LineSize();
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        to -= LineSize();
        break;
    case Qt::Key_PageUp:
        to += keyPageStep;
        break;
    case Qt::Key_PageDown:
        to -= keyPageStep;
        break;
    case Qt::Key_Home:
        return RangeMin();
    case Qt::Key_End:
        return RangeMax();
    default:
        return -1;
    }
    return static_cast<int>(std::clamp<long long>(to, RangeMin(), RangeMax()));
}

void CCustomSliderCtrl::keyPressEvent(QKeyEvent* event) {
    // Modified keys are the window's shortcuts (Ctrl+Right: the next song).
    const int to = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
                       ? KeyTarget(event->key(), keyHeld ? keyPos : Pos())
                       : -1;
    if (to < 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A held key goes on from where it got, whatever the owner showed meanwhile.
    keyHeld = true;
    keyPos = to;
    MoveTo(to);
    event->accept();
}

void CCustomSliderCtrl::keyReleaseEvent(QKeyEvent* event) {
    if (!keyHeld || event->isAutoRepeat() || KeyTarget(event->key(), 0) < 0) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    keyHeld = false;
    Report(keyPos);
    event->accept();
}

void CCustomSliderCtrl::focusOutEvent(QFocusEvent* event) {
    // The release goes to the next window: what the key chose still counts.
    if (keyHeld) {
        keyHeld = false;
        Report(keyPos);
    }
    TrackBar::focusOutEvent(event);
}

void CCustomSliderCtrl::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (buttonDown)
        return;
    wheelRemainder += event->angleDelta().y();
    const int notches = wheelRemainder / 120;
    wheelRemainder -= notches * 120;
    const int before = Pos();
    MoveTo(static_cast<int>(std::clamp<long long>(
        before + static_cast<long long>(notches) * LineSize(), RangeMin(), RangeMax())));
    if (Pos() != before)
        Report(Pos());
}

void CCustomSliderCtrl::timerEvent(QTimerEvent*) {}
