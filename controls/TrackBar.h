#pragma once
#include <QRect>
#include <QWidget>

class QLabel;

// A horizontal trackbar laid out like the common-controls one with TBS_BOTH and TBS_NOTICKS:
// a 4-pixel channel inset 8 pixels from the left, right and top edges, and an 11-pixel wide
// thumb of length 21 centred on the channel at the position. It keeps its own range, position,
// line and page sizes, drags the thumb, pages towards a press on the channel (repeating on a
// timer while the button is held) and moves with the keyboard and the wheel. With tips on
// (TBS_TOOLTIPS), a tip above the thumb shows the position while the thumb is dragged. It draws
// a plain look of its own; subclasses draw their own and may take over any event first.
// Assistive tools see it as a slider (AccessibleSlider).
class TrackBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kThumbLength = 21;
    static constexpr int kThumbWidth = (kThumbLength / 2) | 1;
    static constexpr int kEdgeInset = kThumbLength / 4 + 3;
    static constexpr int kChannelHeight = 4;
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 100;

    explicit TrackBar(QWidget* parent = nullptr);

    int RangeMin() const { return rangeMin_; }
    int RangeMax() const { return rangeMax_; }
    void SetRange(int lo, int hi, bool redraw = true);
    int Pos() const { return pos_; }
    // Limited to the range, as TBM_SETPOS does.
    void SetPos(int pos, bool redraw = true);
    int PageSize() const { return pageSize_; }
    void SetPageSize(int size) { pageSize_ = size; }
    int LineSize() const { return lineSize_; }
    void SetLineSize(int size) { lineSize_ = size; }
    // The listener chose pos through an assistive tool: a move as by the keyboard.
    virtual void Choose(int pos);
    // What assistive tools read as the value (the time, say); empty: the position's number.
    void SetValueText(const QString& text);
    const QString& ValueText() const { return valueText_; }

    // Client rectangles, QRect(left, top, width, height): the channel and the thumb at Pos().
    QRect ChannelRect() const;
    QRect ThumbRect() const;
    // The position a thumb centred on client x stands for.
    int PositionFromPlace(int x) const;

    void SetToolTips(bool on);
    // The drag tip's window, or null before the first drag with tips on.
    const QLabel* PositionTip() const { return tip_; }

    QSize sizeHint() const override { return {120, 24}; }

signals:
    // The position changed through the mouse, the keyboard or the wheel (not through SetPos).
    void positionChanged(int pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void MoveBy(int delta);
    void PageTowardsClick();
    void StopRepeat();
    void ShowTip();
    void HideTip();

    int rangeMin_ = 0;
    int rangeMax_ = 100;
    int pos_ = 0;
    int lineSize_ = 1;
    int pageSize_ = 20; // a fifth of the default range
    bool dragging_ = false;
    int dragOffset_ = 0; // click x minus the thumb's centre when the drag began
    bool paging_ = false;
    int pageTargetX_ = 0;
    int repeatTimer_ = 0;
    int wheelRemainder_ = 0;
    bool tips_ = false;
    QLabel* tip_ = nullptr; // a child window, made on the first drag
    QString valueText_;
};
