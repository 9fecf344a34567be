#pragma once
#include "controls/TrackBar.h"

#include <QPixmap>

class NotifyTarget;

// The trackbar with a drawn look of its own. It reports a position to its owner only when the
// left button is released: a click jumps to the clicked place, a thumb drag keeps where the drag
// left the thumb. The wheel and the trackbar's repeat timer are swallowed, so neither moves it;
// keys still do, without a report. While the thumb is dragged a tip shows the position.
class CCustomSliderCtrl : public TrackBar {
    Q_OBJECT
public:
    // Bitmap numbers, in the order the window has always passed them.
    CCustomSliderCtrl(int backgroundId, int channelMiddleId, int thumbId, int channelLeftId,
                      int channelRightId, QWidget* parent = nullptr);

    // Each release posts msg::kSliderRelease (wParam id, lParam position) to window when both
    // window and id are set.
    void SetNotifyTarget(NotifyTarget* window, int id);
    NotifyTarget* NotifyWindow() const { return notifyWindow; }
    int NotifyId() const { return notifyId; }

    bool ButtonDown() const { return buttonDown; }
    bool ThumbDrag() const { return thumbDrag != 0; }

    // The position a click released at client x selects: the channel is taken to be centred in
    // the control, and x is read signed (a release left of the control gives the minimum).
    int PositionFromClick(int x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QPixmap background;
    QPixmap channelMiddle;
    QPixmap thumb;
    QPixmap channelLeft;
    QPixmap channelRight;
    bool buttonDown = false;
    int thumbDrag = 0;
    int notifyId = 0;
    NotifyTarget* notifyWindow = nullptr;
};
