#pragma once
#include <string>

// One entry of the channel list reply; name is ANSI (GBK).
struct ChannelRecord {
    std::string name;
    int seq_id = 0;     // row in the channel page
    int channel_id = 0; // sent as "channel" in playlist requests
};
