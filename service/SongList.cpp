#include "service/SongList.h"

#include "service/SongReply.h"

#include <algorithm>

SongList::SongList(std::chrono::milliseconds failureSpacing) : failureSpacing_(failureSpacing) {
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

bool SongList::AppendFromReply(std::string_view text, std::vector<SongRecord>* appended) {
    Appended result = Append(text, nullptr, appended != nullptr);
    if (appended)
        *appended = std::move(result.songs);
    return result.parsed;
}

SongList::Appended SongList::AppendFor(std::uint64_t generation, std::string_view text) {
    return Append(text, &generation, true);
}

SongList::Appended SongList::Append(std::string_view text, const std::uint64_t* generation,
                                    bool copies) {
    Appended result;
    // Parsed before the lock is taken: only the append itself holds it.
    std::vector<SongRecord> block;
    if (!ParseSongReply(
            text, [&](SongRecord&& record) { block.push_back(std::move(record)); }, kMaxReplySongs))
        return result;
    result.parsed = true;
    std::lock_guard<std::mutex> guard(lock_);
    result.count = static_cast<int>(records_.size());
    if (generation && generation_ != *generation)
        return result;
    block.resize(std::min(block.size(), kMaxSongs - records_.size()));
    std::size_t capacity = records_.capacity() ? records_.capacity() : kInitialCapacity;
    while (capacity < records_.size() + block.size())
        capacity *= 2;
    records_.reserve(capacity);
    for (SongRecord& record : block) {
        record.index = static_cast<int>(records_.size());
        record.status = 0;
        result.fresh += sids_.insert(record.sid).second;
        records_.push_back(std::move(record));
    }
    if (copies)
        result.songs.assign(records_.end() - static_cast<std::ptrdiff_t>(block.size()),
                            records_.end());
    result.count = static_cast<int>(records_.size());
    return result;
}

std::uint64_t SongList::Generation() const {
    std::lock_guard<std::mutex> guard(lock_);
    return generation_;
}

void SongList::SetStatus(int i, int status) {
    std::lock_guard<std::mutex> guard(lock_);
    if (i < 0 || static_cast<std::size_t>(i) >= records_.size())
        return;
    records_[static_cast<std::size_t>(i)].status = status;
}

void SongList::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    records_.clear();
    sids_.clear();
    ++generation_;
    playing_ = -1;
}

std::size_t SongList::Capacity() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_.capacity();
}

SongRecord* SongList::FindLocked(int i, std::string_view sid, std::uint64_t generation) {
    if (generation != generation_ || i < 0 || static_cast<std::size_t>(i) >= records_.size())
        return nullptr;
    SongRecord& record = records_[static_cast<std::size_t>(i)];
    return record.sid == sid ? &record : nullptr;
}

int SongList::BeginPlay(int i, std::string_view sid, std::uint64_t generation) {
    std::lock_guard<std::mutex> guard(lock_);
    const SongRecord* record = FindLocked(i, sid, generation);
    if (!record)
        return -1;
    playing_ = i;
    return record->status;
}

void SongList::MarkPlayed(int i, std::string_view sid, std::uint64_t generation) {
    std::lock_guard<std::mutex> guard(lock_);
    SongRecord* record = FindLocked(i, sid, generation);
    if (record && playing_ == i)
        record->status = 3;
}

void SongList::EndPlay(int i) {
    std::lock_guard<std::mutex> guard(lock_);
    if (playing_ == i)
        playing_ = -1;
}

bool SongList::BeginDownload(int i, std::string_view sid, std::uint64_t generation) {
    std::lock_guard<std::mutex> guard(lock_);
    SongRecord* record = FindLocked(i, sid, generation);
    if (!record || playing_ == i || record->status != 0 || failed_.count(sid) != 0)
        return false;
    record->status = 1;
    return true;
}

void SongList::EndDownload(int i, std::string_view sid, std::uint64_t generation, bool ok) {
    std::lock_guard<std::mutex> guard(lock_);
    SongRecord* record = FindLocked(i, sid, generation);
    if (record && record->status == 1)
        record->status = ok ? 2 : 0;
}

void SongList::MarkFailed(std::string_view sid) {
    std::lock_guard<std::mutex> guard(lock_);
    failed_.emplace(sid);
}

bool SongList::CountDownload(std::string_view sid, bool ok) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = failures_.find(sid);
    if (ok || failed_.count(sid) != 0) {
        if (it != failures_.end())
            failures_.erase(it);
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (it == failures_.end())
        it = failures_.emplace(std::string(sid), Failures{}).first;
    else if (now - it->second.last < failureSpacing_)
        return false;
    it->second.last = now;
    if (++it->second.count < kMaxFailures)
        return false;
    failures_.erase(it);
    failed_.emplace(sid);
    return true;
}

bool SongList::Failed(std::string_view sid) const {
    std::lock_guard<std::mutex> guard(lock_);
    return failed_.count(sid) != 0;
}

bool SongList::AnyFailed() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !failed_.empty();
}
