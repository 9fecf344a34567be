#include "app/MainDlgControl.h"

#include "app/CMainDlg.h"
#include "controls/CChannelPage.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/Resources.h"
#include "service/SongRecord.h"

#include <algorithm>

MainDlgControl::MainDlgControl(CMainDlg& window_, QObject* parent)
    : DesktopControl(parent), window(window_) {
    for (auto signal : {&CMainDlg::playbackChanged, &CMainDlg::songStarted, &CMainDlg::songLiked})
        connect(&window, signal, this, &DesktopControl::changed);
    connect(&window, &CMainDlg::volumeChanged, this, &DesktopControl::changed);
    connect(&window, &CMainDlg::statusTextChanged, this, &DesktopControl::changed);
}

DesktopControl::State MainDlgControl::Snapshot() const {
    State state;
    switch (window.PlaybackState()) {
    case CMainDlg::Playback::kPlaying:
        state.playback = Playback::kPlaying;
        break;
    case CMainDlg::Playback::kPaused:
        state.playback = Playback::kPaused;
        break;
    case CMainDlg::Playback::kStopped:
        break;
    }
    if (SongRecord song; window.PlayingRecord(song)) {
        state.title = Resources::AnsiToQString(song.title);
        state.artist = Resources::AnsiToQString(song.artist);
    }
    state.volume = window.VolumeSlider() ? window.VolumeSlider()->Pos() : 0;
    state.channelId = window.ChannelId();
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
    if (state.channels.empty() && !window.ChannelName().empty())
        state.channels.push_back(
            {window.ChannelId(), Resources::AnsiToQString(window.ChannelName())});
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
