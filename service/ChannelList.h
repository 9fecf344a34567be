#pragma once
#include "service/ChannelRecord.h"

#include <cstddef>
#include <string_view>
#include <vector>

class WebClient;

// The service's channels in reply order. Room for 20 records at the first append, doubling when
// full; entries are never removed. Lives on the window thread with the channel page: not shared.
class ChannelList {
public:
    static constexpr std::size_t kInitialCapacity = 20;

    // GETs base + "/j/app/radio/channels" and appends the channels of the reply. False when no
    // reply came or it did not parse; the list then stays as it was.
    bool Fetch(const WebClient& web, std::string_view base);

    // Appends the channels of a reply text: name (UTF-8, stored as ANSI), seq_id, channel_id.
    // An element with a member of the wrong type is skipped. False when the text does not parse.
    bool AppendFromReply(std::string_view text);

    void Append(ChannelRecord record);
    int Count() const { return static_cast<int>(records_.size()); }
    std::size_t Capacity() const { return capacity_; }
    // A copy of record i; out of range gives an empty name and zeros.
    ChannelRecord At(int i) const;

private:
    std::vector<ChannelRecord> records_;
    std::size_t capacity_ = 0;
};
