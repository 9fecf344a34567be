#include "scrobble/ListenRule.h"

#include "platform/CodePage.h"
#include "scrobble/ListenPayload.h"

#include <algorithm>

ListenRule::ListenRule(const ScrobbleClock& clock) : clock_(clock) {}

Listen ListenRule::SongStarted(const ListenSong& song) {
    auto text = [](const std::string& ansi) {
        return ListenPayload::CleanText(CodePage::AnsiToUtf8(ansi));
    };
    listen_ = Listen{0, text(song.artist), text(song.title), text(song.album),
                     std::max<std::int64_t>(song.lengthMs, 0)};
    Listen notice = listen_;
    listen_.listenedAt = clock_.UtcSeconds();
    active_ = true;
    playing_ = true;
    counted_ = false;
    heardMs_ = 0;
    playingSinceMs_ = clock_.SteadyMs();
    return notice;
}

void ListenRule::LengthKnown(std::int64_t lengthMs) {
    if (active_ && lengthMs > 0)
        listen_.durationMs = lengthMs;
}

void ListenRule::Paused() {
    if (!active_ || !playing_)
        return;
    heardMs_ = HeardMs();
    playing_ = false;
}

void ListenRule::Resumed() {
    if (!active_ || playing_)
        return;
    playing_ = true;
    playingSinceMs_ = clock_.SteadyMs();
}

std::optional<Listen> ListenRule::SongLeft() {
    std::optional<Listen> listen = Check();
    active_ = false;
    playing_ = false;
    return listen;
}

std::optional<Listen> ListenRule::SongEnded(std::int64_t endMs) {
    if (active_ && listen_.durationMs <= 0)
        LengthKnown(endMs);
    return SongLeft();
}

std::optional<Listen> ListenRule::Poll() {
    return Check();
}

std::optional<Listen> ListenRule::CountedListen() const {
    return active_ && counted_ ? std::optional<Listen>(listen_) : std::nullopt;
}

std::optional<std::int64_t> ListenRule::MsUntilListen() const {
    if (!active_ || !playing_ || counted_)
        return std::nullopt;
    return std::max<std::int64_t>(NeededMs() - HeardMs(), 0);
}

std::int64_t ListenRule::HeardMs() const {
    if (!playing_)
        return heardMs_;
    // A steady clock never goes back; should one, nothing is subtracted.
    return heardMs_ + std::max<std::int64_t>(clock_.SteadyMs() - playingSinceMs_, 0);
}

std::int64_t ListenRule::NeededMs() const {
    if (listen_.durationMs <= 0)
        return kEnoughHeardMs;
    return std::min(kEnoughHeardMs, listen_.durationMs / 2);
}

std::optional<Listen> ListenRule::Check() {
    if (!active_ || counted_ || HeardMs() < NeededMs())
        return std::nullopt;
    counted_ = true;
    return listen_;
}
