#include "controls/TrackBar.h"

#include "controls/AccessibleSlider.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

TrackBar::TrackBar(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    AccessibleSlider::Install();
}

void TrackBar::SetRange(int lo, int hi, bool redraw) {
    rangeMin_ = lo;
    rangeMax_ = std::max(lo, hi);
    pos_ = std::clamp(pos_, rangeMin_, rangeMax_);
    if (redraw)
        update();
}

void TrackBar::SetPos(int pos, bool redraw) {
    const int before = pos_;
    pos_ = std::clamp(pos, rangeMin_, rangeMax_);
    if (redraw)
        update();
    if (pos_ != before && QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, pos_);
        QAccessible::updateAccessibility(&changed);
    }
}

void TrackBar::Choose(int pos) {
    const int before = pos_;
    SetPos(pos);
    if (pos_ != before)
        emit positionChanged(pos_);
}

void TrackBar::SetValueText(const QString& text) {
    if (text == valueText_)
        return;
    valueText_ = text;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, pos_);
        QAccessible::updateAccessibility(&changed);
    }
}

QRect TrackBar::ChannelRect() const {
    const int w = std::max(0, width() - 2 * kEdgeInset);
    return QRect(kEdgeInset, kEdgeInset, w, kChannelHeight);
}

QRect TrackBar::ThumbRect() const {
    const QRect channel = ChannelRect();
    const int range = std::max(1, rangeMax_ - rangeMin_);
    const long long offset = static_cast<long long>(channel.width()) * (pos_ - rangeMin_) / range;
    const int left = channel.x() - kThumbWidth / 2 + static_cast<int>(offset);
    const int top = channel.y() + channel.height() / 2 - kThumbLength / 2;
    return QRect(left, std::max(0, top), kThumbWidth, kThumbLength);
}

int TrackBar::PositionFromPlace(int x) const {
    const QRect channel = ChannelRect();
    if (channel.width() <= 0)
        return rangeMin_;
    const long long range = static_cast<long long>(rangeMax_) - rangeMin_;
    // Rounded to the nearest position, so the thumb follows the pointer's centre.
    const long long along = static_cast<long long>(x) - channel.x();
    long long pos = rangeMin_ + (along * range * 2 + channel.width()) / (2LL * channel.width());
    if (along < 0)
        pos = rangeMin_;
    return static_cast<int>(std::clamp<long long>(pos, rangeMin_, rangeMax_));
}

void TrackBar::MoveBy(int delta) {
    const int before = pos_;
    SetPos(static_cast<int>(
        std::clamp<long long>(static_cast<long long>(pos_) + delta, rangeMin_, rangeMax_)));
    if (pos_ != before)
        emit positionChanged(pos_);
}

void TrackBar::PageTowardsClick() {
    const QRect thumb = ThumbRect();
    if (pageTargetX_ < thumb.x())
        MoveBy(-pageSize_);
    else if (pageTargetX_ >= thumb.x() + thumb.width())
        MoveBy(pageSize_);
    else
        StopRepeat(); // the thumb has reached the pointer
}

void TrackBar::StopRepeat() {
    paging_ = false;
    if (repeatTimer_ != 0) {
        killTimer(repeatTimer_);
        repeatTimer_ = 0;
    }
}

void TrackBar::SetToolTips(bool on) {
    tips_ = on;
    if (!on)
        HideTip();
}

void TrackBar::ShowTip() {
    if (!tips_)
        return;
    if (tip_ == nullptr) {
        tip_ = new QLabel(this, Qt::ToolTip | Qt::BypassGraphicsProxyWidget);
        tip_->setPalette(QToolTip::palette());
        tip_->setFont(QToolTip::font());
        tip_->setFrameStyle(QFrame::Box | QFrame::Plain);
        tip_->setMargin(2);
        tip_->setAlignment(Qt::AlignCenter);
    }
    tip_->setText(QString::number(pos_));
    tip_->adjustSize();
    // Centred above the thumb, two pixels clear of it, as the common trackbar places its tip.
    const QRect thumb = ThumbRect();
    const QPoint top = mapToGlobal(QPoint(thumb.x() + thumb.width() / 2, thumb.y()));
    tip_->move(top.x() - tip_->width() / 2, top.y() - tip_->height() - 2);
    tip_->show();
}

void TrackBar::HideTip() {
    if (tip_ != nullptr)
        tip_->hide();
}

void TrackBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect channel = ChannelRect();
    p.fillRect(channel, palette().mid());
    p.fillRect(ThumbRect(), hasFocus() ? palette().highlight() : palette().button());
}

void TrackBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const QRect thumb = ThumbRect();
    if (thumb.contains(at)) {
        dragging_ = true;
        dragOffset_ = at.x() - (thumb.x() + thumb.width() / 2);
        ShowTip();
        return;
    }
    paging_ = true;
    pageTargetX_ = at.x();
    PageTowardsClick();
    if (paging_ && repeatTimer_ == 0)
        repeatTimer_ = startTimer(kRepeatDelayMs);
}

void TrackBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_)
        return;
    const int pos = PositionFromPlace(event->position().toPoint().x() - dragOffset_);
    if (pos != pos_) {
        SetPos(pos);
        emit positionChanged(pos_);
    }
    ShowTip();
}

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    StopRepeat();
    HideTip();
}

void TrackBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        MoveBy(-lineSize_);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        MoveBy(lineSize_);
        break;
    case Qt::Key_PageUp:
        MoveBy(-pageSize_);
        break;
    case Qt::Key_PageDown:
        MoveBy(pageSize_);
        break;
    case Qt::Key_Home:
        MoveBy(rangeMin_ - pos_);
        break;
    case Qt::Key_End:
        MoveBy(rangeMax_ - pos_);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TrackBar::wheelEvent(QWheelEvent* event) {
    // One line per notch (120 units), wheel away from the user moving towards the minimum.
    wheelRemainder_ += event->angleDelta().y();
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    if (notches != 0)
        MoveBy(-notches * lineSize_);
    event->accept();
}

void TrackBar::hideEvent(QHideEvent* event) {
    dragging_ = false;
    HideTip();
    QWidget::hideEvent(event);
}

void TrackBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() != repeatTimer_) {
        QWidget::timerEvent(event);
        return;
    }
    killTimer(repeatTimer_);
    repeatTimer_ = 0;
    if (!paging_)
        return;
    PageTowardsClick();
    if (paging_)
        repeatTimer_ = startTimer(kRepeatIntervalMs);
}
