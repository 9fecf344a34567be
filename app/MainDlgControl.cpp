#include "app/MainDlgControl.h"

#include "app/CMainDlg.h"
#include "controls/CChannelPage.h"
#include "controls/Resources.h"
#include "service/SongRecord.h"

#include <algorithm>

MainDlgControl::MainDlgControl(CMainDlg& window_, QObject* parent)
    : DesktopControl(parent), window(window_) {
    SessionAdaptor& session = window.Adaptor();
    for (auto signal : {&SessionAdaptor::playbackChanged, &SessionAdaptor::songStarted,
                        &SessionAdaptor::songLiked, &SessionAdaptor::statusChanged})
        connect(&session, signal, this, &DesktopControl::changed);
    connect(&session, &SessionAdaptor::volumeChanged, this, &DesktopControl::changed);
}

DesktopControl::State MainDlgControl::Snapshot() const {
    const RadioSession::Snapshot now = window.Session().Snap();
    State state;
    switch (now.playback) {
    case RadioSession::Playback::kPlaying:
        state.playback = Playback::kPlaying;
        break;
    case RadioSession::Playback::kPaused:
        state.playback = Playback::kPaused;
        break;
    case RadioSession::Playback::kStopped:
        break;
    }
    if (now.song) {
        state.title = Resources::AnsiToQString(now.song->title);
        state.artist = Resources::AnsiToQString(now.song->artist);
    }
    state.volume = now.volume;
    state.channelId = now.channelId;
    // The channel page fetches the list when it is first shown; until then only the current
    // channel is known.
    if (const CChannelPage* page = window.ChannelPage()) {
        for (int i = 0; i < page->Channels().Count(); ++i) {
            const ChannelRecord channel = page->Channels().At(i);
            if (!channel.name.empty())
                state.channels.push_back(
                    {channel.channel_id, Resources::AnsiToQString(channel.name)});
        }
    }
    if (state.channels.empty() && !now.channelName.empty())
        state.channels.push_back({now.channelId, Resources::AnsiToQString(now.channelName)});
    return state;
}

void MainDlgControl::Play() {
    window.OnPlay();
}

void MainDlgControl::Pause() {
    window.OnPause();
}

void MainDlgControl::Next() {
    window.OnNext();
}

void MainDlgControl::Like() {
    window.OnLike();
}

void MainDlgControl::Dislike() {
    window.OnDislike();
}

void MainDlgControl::SwitchChannel(int channelId) {
    std::string name;
    if (const CChannelPage* page = window.ChannelPage())
        name = page->ChannelName(channelId).value_or("");
    window.SwitchChannel(channelId, name);
    window.ShowListPage(0);
}

void MainDlgControl::SetVolume(int volume) {
    window.SetVolume(std::clamp(volume, 0, 100));
}

void MainDlgControl::Quit() {
    window.CloseWindow();
}
