#pragma once
#include <QObject>
#include <QString>
#include <vector>

// What the desktop's surfaces (the tray icon and its menu, the screen lock, the sleep inhibitor,
// the notifications' buttons) read of the player and ask of it. They never reach into windows:
// they read State() and act through these commands, as the window's own controls do.
class DesktopControl : public QObject {
    Q_OBJECT
public:
    enum class Playback { kStopped, kPlaying, kPaused };
    struct Channel {
        int id = 0;
        QString name;
        bool operator==(const Channel&) const = default;
    };
    struct State {
        Playback playback = Playback::kStopped;
        QString title, artist; // of the playing song; empty before the first one
        int volume = 0;        // 0 to 100
        int channelId = 0;
        std::vector<Channel> channels; // as the service lists them; may be empty
        bool operator==(const State&) const = default;
    };

    using QObject::QObject;

    virtual State Snapshot() const = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Next() = 0;
    virtual void Like() = 0;
    virtual void Dislike() = 0;
    virtual void SwitchChannel(int channelId) = 0;
    virtual void SetVolume(int volume) = 0; // clamped to 0 to 100
    // The one close sequence: stop, save, empty the cache, end.
    virtual void Quit() = 0;

    void PlayPause();

signals:
    // Snapshot() may differ from what it was.
    void changed();
};
