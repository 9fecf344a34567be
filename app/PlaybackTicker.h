#pragma once
#include <QString>
#include <QTimer>

class MainDlgControls;
class QWidget;
class RadioSession;

// What moves in the main window while a song plays: the time, the progress slider and the
// lyrics every 500 ms, the spectrum every 50 ms. None ticks while paused, the spectrum only
// while the window is seen; hidden, the progress tick keeps only the session's own tick (the
// song's length for the desktop, the wait for audio).
class PlaybackTicker {
public:
    static constexpr int kProgressPeriodMs = 500;
    static constexpr int kSpectrumPeriodMs = 50;

    PlaybackTicker(QWidget& window, RadioSession& session);
    // The controls it moves, once they are built.
    void Attach(MainDlgControls& controls);

    // Runs the timers the playback and the window's visibility call for.
    void Sync();
    void Stop();
    void OnProgressTick();
    void OnSpectrumTick();
    // Shows the time and moves the slider; the play time in whole seconds.
    int UpdateTime();

    const QString& TimeText() const { return timeText; }
    bool Running() const { return progressTimer.isActive() && spectrumTimer.isActive(); }
    bool AnyRunning() const { return progressTimer.isActive() || spectrumTimer.isActive(); }

private:
    // Shown and not minimised: someone may see the window.
    bool Seen() const;

    QWidget& window;
    RadioSession& session;
    MainDlgControls* controls = nullptr;
    QString timeText = QStringLiteral("0:00/0:00");
    bool seenBefore = false; // Seen() at the last Sync
    bool timeStale = true;   // the time region is painted at the next tick even if its text holds
    QTimer progressTimer;
    QTimer spectrumTimer;
};
