#pragma once
#include <QColor>
#include <QWidget>
#include <array>
#include <span>

// The 54-bar spectrum with falling peak marks. It owns no timer and no data: the main window's
// 50 ms timer hands it the player's spectrum buffer, and it repaints at once the bars that
// changed (none, once a pause has brought them all to rest).
class CTrumWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBarCount = 54;
    static constexpr int kMaxHeight = 18;
    static constexpr int kBaseLine = 24;
    static constexpr int kBarPitch = 5;
    static constexpr int kBarWidth = 4;
    static constexpr int kWidth = 270;
    static constexpr int kHeight = 25;
    static constexpr int kBarFall = 3;  // pixels per update
    static constexpr int kPeakFall = 1; // pixels per update

    explicit CTrumWindow(QWidget* parent = nullptr);

    // values: the player's spectrum buffer (512 floats); the first 54 are read, missing ones
    // count as 0.
    void Update(std::span<const float> values);
    void Reset();

    int BarHeight(int i) const { return bars.at(i); }
    int PeakHeight(int i) const { return peaks.at(i); }
    // Height in pixels for one magnitude: linear, 0.06 and above give the full 18.
    static int LevelOf(float value);

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Repaints, at once, the columns of the bars whose bar or peak differs from before.
    void RepaintChanged(const std::array<int, kBarCount>& oldBars,
                        const std::array<int, kBarCount>& oldPeaks);

    const QColor backgroundColour{0, 0, 0};
    const QColor barColour{60, 210, 250};
    std::array<int, kBarCount> peaks{};
    std::array<int, kBarCount> bars{};
};
