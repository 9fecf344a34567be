#include "app/PlaybackTicker.h"

#include "app/MainDlgControls.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/CTrumWindow.h"
#include "lyrics/CLrcWindow.h"
#include "playback/CAudioPlayer.h"
#include "session/RadioSession.h"

#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <span>
#include <utility>

namespace {
const QRect kRegionTime(QPoint(400, 130), QPoint(499, 154));
} // namespace

PlaybackTicker::PlaybackTicker(QWidget& window_, RadioSession& session_)
    : window(window_), session(session_) {
    progressTimer.setInterval(kProgressPeriodMs);
    spectrumTimer.setInterval(kSpectrumPeriodMs);
    QObject::connect(&progressTimer, &QTimer::timeout, &window, [this] { OnProgressTick(); });
    QObject::connect(&spectrumTimer, &QTimer::timeout, &window, [this] { OnSpectrumTick(); });
}

void PlaybackTicker::Attach(MainDlgControls& controls_) {
    controls = &controls_;
}

bool PlaybackTicker::Seen() const {
    return window.isVisible() && !window.isMinimized();
}

void PlaybackTicker::Stop() {
    progressTimer.stop();
    spectrumTimer.stop();
}

void PlaybackTicker::Sync() {
    const bool live = controls && session.SongShown() && !session.WorkersEnded();
    const bool ticking = live && session.Playing();
    const bool seen = Seen();
    const bool wasSeen = std::exchange(seenBefore, seen);
    if (!ticking) {
        // The time shown is where the pause holds, not the last tick's.
        if (seen && progressTimer.isActive())
            OnProgressTick();
        Stop();
    }
    // Shown again or playing again: the display catches up at once, and the timers start
    // together so that the time, the lyrics and the spectrum move in step.
    const bool catchUp = live && seen && (!wasSeen || (ticking && !progressTimer.isActive()));
    if (catchUp) {
        timeStale = true;
        OnProgressTick();
        OnSpectrumTick();
    }
    if (!ticking)
        return;
    if (catchUp || !progressTimer.isActive())
        progressTimer.start();
    if (!seen)
        spectrumTimer.stop();
    else if (catchUp || !spectrumTimer.isActive())
        spectrumTimer.start();
}

void PlaybackTicker::OnProgressTick() {
    if (Seen() && controls)
        controls->lrcWindow->SetPlayTime(UpdateTime());
    session.Tick();
}

int PlaybackTicker::UpdateTime() {
    if (!session.Player() || !controls)
        return 0;
    const RadioSession::Snapshot now = session.Snap();
    const auto elapsed = static_cast<float>(now.position);
    const auto length = static_cast<float>(now.length);
    const int s = static_cast<int>(elapsed);
    int percent = 0;
    if (length > 0.0f) // a length of 0 leaves the slider at 0
        percent = static_cast<int>(s * 100.0 / length);
    // Repainted only when they change, about once a second: each repaint costs as much as a
    // spectrum frame's.
    const int position = std::clamp(percent, 0, 100);
    controls->progressSlider->SetPos(position, position != controls->progressSlider->Pos());
    QString text = QString::asprintf("%d:%02d/%d:%02d", static_cast<int>(elapsed / 60), s % 60,
                                     static_cast<int>(length / 60), static_cast<int>(length) % 60);
    const bool stale = std::exchange(timeStale, false);
    if (stale || text != timeText) {
        timeText = std::move(text);
        window.repaint(kRegionTime);
    }
    if (controls->timeLabel->text() != timeText) {
        controls->timeLabel->setText(timeText);
        controls->progressSlider->SetValueText(timeText);
    }
    return static_cast<int>(elapsed / 60) * 60 + s % 60;
}

void PlaybackTicker::OnSpectrumTick() {
    if (CAudioPlayer* player = session.Player(); player && controls && player->RefreshSpectrum())
        controls->spectrumWindow->Update(
            std::span<const float>(player->GetSpectrumData(), CAudioPlayer::kSpectrumSize));
}
