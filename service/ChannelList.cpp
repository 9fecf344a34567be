#include "service/ChannelList.h"

#include "platform/OutOfMemory.h"
#include "platform/TextEncoding.h"
#include "service/JsonNode.h"
#include "service/ServiceRequests.h"
#include "service/WebClient.h"

#include <json/value.h>
#include <new>

bool ChannelList::Fetch(const WebClient& web, std::string_view base) {
    std::optional<std::string> reply = web.Get(ChannelListUrl(base));
    return reply && AppendFromReply(*reply);
}

bool ChannelList::AppendFromReply(std::string_view text) {
    JsonNode doc;
    if (!doc.Parse(text))
        return false;
    JsonNode channels = doc.Member("channels");
    for (int i = 0;; ++i) {
        JsonNode element = channels.Element(i);
        if (!element.IsValid())
            break;
        ChannelRecord record;
        try {
            record.name = Utf8ToAnsi(element.GetString("name").value_or(""));
            record.seq_id = element.GetInt("seq_id");
            record.channel_id = element.GetInt("channel_id");
        } catch (const Json::Exception&) {
            continue;
        }
        Append(std::move(record));
    }
    return true;
}

void ChannelList::Append(ChannelRecord record) {
    try {
        if (records_.size() == capacity_) {
            capacity_ = capacity_ ? capacity_ * 2 : kInitialCapacity;
            records_.reserve(capacity_);
        }
        records_.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
        ExitOutOfMemory();
    }
}

ChannelRecord ChannelList::At(int i) const {
    if (i < 0 || i >= Count())
        return ChannelRecord();
    return records_[static_cast<std::size_t>(i)];
}
