#pragma once
#include <string>

// What the list pages ask of the window that holds them (the main window implements it).
class IListOwner {
public:
    virtual ~IListOwner() = default;
    // The listener picked the song at this index of the song queue.
    virtual void PlaySongAt(int index) = 0;
    // The listener picked a channel; name is its GBK display name.
    virtual void SwitchChannel(int channelId, const std::string& name) = 0;
    // 0: the songs page, 1: the channel page.
    virtual void ShowListPage(int page) = 0;
    // Where the channel list comes from: scheme://host[:port] of the service.
    virtual std::string ServiceBase() = 0;
};
