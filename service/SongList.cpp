#include "service/SongList.h"

#include "platform/Messages.h"
#include "platform/NotifyTarget.h"
#include "service/SongReply.h"

SongList& SongList::Instance() {
    static SongList list;
    return list;
}

SongList::SongList() {
    records_.reserve(kInitialCapacity);
}

int SongList::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(records_.size());
}

SongRecord SongList::At(int i) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (i < 0 || static_cast<std::size_t>(i) >= records_.size()) {
        SongRecord empty;
        empty.like.clear();
        return empty;
    }
    return records_[static_cast<std::size_t>(i)];
}

bool SongList::AppendFromReply(std::string_view text, NotifyTarget* window) {
    return AppendFromReplySince(text, window, ClearCount()) >= 0;
}

int SongList::AppendFromReplySince(std::string_view text, NotifyTarget* window,
                                   std::uint64_t since) {
    int appended = 0;
    bool parsed = ParseSongReply(text, [&](SongRecord&& record) {
        SongRecord notice;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (clears_ != since)
                return;
            if (records_.size() == records_.capacity())
                records_.reserve(records_.capacity() ? records_.capacity() * 2 : kInitialCapacity);
            record.index = static_cast<int>(records_.size());
            record.status = 0;
            records_.push_back(std::move(record));
            if (window)
                notice = records_.back();
        }
        ++appended;
        if (window)
            window->Send(msg::kSongAppended, reinterpret_cast<std::uintptr_t>(&notice), 0);
    });
    if (!parsed)
        return -1;
    int count = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (clears_ == since)
            count = static_cast<int>(records_.size());
    }
    if (window && count > 0)
        window->Send(msg::kPlaylistArrived, static_cast<std::uintptr_t>(count), 0);
    return appended;
}

std::uint64_t SongList::ClearCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return clears_;
}

void SongList::SetStatus(int i, int status) {
    std::lock_guard<std::mutex> guard(lock_);
    if (cleared_ || i < 0 || static_cast<std::size_t>(i) >= records_.size())
        return;
    records_[static_cast<std::size_t>(i)].status = status;
}

void SongList::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    records_.clear();
    cleared_ = true;
    ++clears_;
}

void SongList::ResetClearedFlag() {
    std::lock_guard<std::mutex> guard(lock_);
    cleared_ = false;
}

std::size_t SongList::Capacity() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_.capacity();
}
