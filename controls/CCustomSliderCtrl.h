#pragma once
#include "controls/TrackBar.h"

#include <QPixmap>

class FocusMark;
class NotifyTarget;

// The trackbar with a drawn look of its own. It reports a position to its owner only when the
// listener lets go: when the left button is released (a click jumps to the clicked place, a
// thumb drag keeps where the drag left the thumb), when a key that moved it is released, at
// each notch of the wheel that moves it, and when an assistive tool sets it. The keys: Right
// and Up a line up, Left and Down a line down, Page Up and Page Down a page, Home and End the
// ends; the wheel moves a line per notch, away from the listener up. The trackbar's repeat
// timer is swallowed. While the thumb is dragged a tip shows the position; with the keyboard
// focus the focus mark shows.
class CCustomSliderCtrl : public TrackBar {
    Q_OBJECT
public:
    static constexpr int kKeyPageStep = 10;

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
    // The listener is moving it (button or key held): a position set now would be overtaken.
    bool Adjusting() const { return buttonDown || keyHeld; }
    // The step of Page Up and Page Down (the page size stays 0, so a click jumps).
    void SetKeyPageStep(int step) { keyPageStep = step; }
    const FocusMark& Mark() const { return *mark; }

    // The position a click released at client x selects: the channel is taken to be centred in
    // the control, and x is read signed (a release left of the control gives the minimum).
    int PositionFromClick(int x) const;

    void Choose(int pos) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // Where key moves the thumb from; -1 for keys the slider leaves alone.
    int KeyTarget(int key, int from) const;
    void MoveTo(int position);
    // Sets the position and posts it to the owner.
    void Report(int position);

    QPixmap background;
    QPixmap channelMiddle;
    QPixmap thumb;
    QPixmap channelLeft;
    QPixmap channelRight;
    bool buttonDown = false;
    int thumbDrag = 0;
    int notifyId = 0;
    NotifyTarget* notifyWindow = nullptr;
    // While a key is held the position it has reached, kept apart from the owner's SetPos.
    bool keyHeld = false;
    int keyPos = 0;
    int keyPageStep = kKeyPageStep;
    int wheelRemainder = 0;
    FocusMark* mark; // a child
};
