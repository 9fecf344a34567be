#pragma once
#include "app/DesktopControl.h"

#include <algorithm>
#include <string>
#include <vector>

// A player for the desktop surfaces' tests: each command is written down and changes the state
// as the real player would; the test sets the state it starts from.
class FakeDesktopControl : public DesktopControl {
public:
    State Snapshot() const override { return state; }
    void Play() override {
        Did("Play", [&] { state.playback = Playback::kPlaying; });
    }
    void Pause() override {
        Did("Pause", [&] { state.playback = Playback::kPaused; });
    }
    void Next() override { Did("Next"); }
    void Like() override { Did("Like"); }
    void Dislike() override { Did("Dislike"); }
    void SwitchChannel(int id) override {
        Did("SwitchChannel " + std::to_string(id), [&] { state.channelId = id; });
    }
    void SetVolume(int volume) override {
        volume = std::clamp(volume, 0, 100);
        Did("SetVolume " + std::to_string(volume), [&] { state.volume = volume; });
    }
    void Quit() override { Did("Quit"); }

    void Set(const State& now) {
        state = now;
        emit changed();
    }

    State state;
    std::vector<std::string> commands;

private:
    template <class F = void (*)()>
    void Did(
        const std::string& command, F apply = [] {}) {
        commands.push_back(command);
        apply();
        emit changed();
    }
};
