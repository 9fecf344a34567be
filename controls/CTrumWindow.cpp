#include "controls/CTrumWindow.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

CTrumWindow::CTrumWindow(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kWidth, kHeight);
}

int CTrumWindow::LevelOf(float value) {
    const float scaled = std::fabs(value) * 300.0f;
    // NaN gives no bar; anything past the top (infinity included) is clamped before the
    // conversion so it cannot overflow.
    if (!(scaled >= 0.0f))
        return 0;
    if (scaled >= static_cast<float>(kMaxHeight))
        return kMaxHeight;
    return static_cast<int>(scaled);
}

void CTrumWindow::Update(std::span<const float> values) {
    const auto oldBars = bars;
    const auto oldPeaks = peaks;
    for (int i = 0; i < kBarCount; ++i) {
        const int level = static_cast<size_t>(i) < values.size() ? LevelOf(values[i]) : 0;
        peaks[i] = level >= peaks[i] ? level : peaks[i] - kPeakFall;
        bars[i] = level >= bars[i] ? level : bars[i] - kBarFall;
        if (peaks[i] < 0)
            peaks[i] = 0;
        if (bars[i] < 0)
            bars[i] = 0;
    }
    RepaintChanged(oldBars, oldPeaks);
}

void CTrumWindow::Reset() {
    const auto oldBars = bars;
    const auto oldPeaks = peaks;
    peaks.fill(0);
    bars.fill(0);
    RepaintChanged(oldBars, oldPeaks);
}

void CTrumWindow::RepaintChanged(const std::array<int, kBarCount>& oldBars,
                                 const std::array<int, kBarCount>& oldPeaks) {
    // Neighbouring columns as one rectangle, and the region made at once: building it column by
    // column costs more than the painting.
    std::array<QRect, kBarCount> runs;
    int count = 0;
    for (int i = 0; i < kBarCount; ++i) {
        if (bars[i] == oldBars[i] && peaks[i] == oldPeaks[i])
            continue;
        const int x = kBarPitch * i;
        if (count > 0 && runs[count - 1].right() + 1 == x)
            runs[count - 1].setRight(x + kBarPitch - 1);
        else
            runs[count++] = QRect(x, 0, kBarPitch, kHeight);
    }
    if (count == 0)
        return;
    QRegion changed;
    changed.setRects(runs.data(), count);
    repaint(changed);
}

void CTrumWindow::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), backgroundColour); // clipped to the region
    const int first = std::max(0, event->rect().left() / kBarPitch);
    const int last = std::min(kBarCount - 1, event->rect().right() / kBarPitch);
    for (int i = first; i <= last; ++i) {
        const int x = kBarPitch * i;
        // The peak mark is a 4-pixel line on row 24 - peak, so at rest it draws the base line;
        // the bar covers rows 24 - bar to 23 and is painted over the mark.
        p.fillRect(QRect(x, kBaseLine - peaks[i], kBarWidth, 1), barColour);
        if (bars[i] > 0)
            p.fillRect(QRect(x, kBaseLine - bars[i], kBarWidth, bars[i]), barColour);
    }
}
