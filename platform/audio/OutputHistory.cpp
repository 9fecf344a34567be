#include "platform/audio/OutputHistory.h"

#include <algorithm>
#include <cstring>

void OutputHistory::Record(const int32_t* frames, size_t count) {
    const size_t capacity = Capacity();
    if (capacity == 0)
        return;
    pending_ = 0;
    if (count > capacity) {
        frames += (count - capacity) * 2;
        count = capacity;
    }
    const size_t first = std::min(count, capacity - end_);
    std::memcpy(&data_[end_ * 2], frames, first * 2 * sizeof(int32_t));
    std::memcpy(&data_[0], frames + first * 2, (count - first) * 2 * sizeof(int32_t));
    end_ = (end_ + count) % capacity;
    size_ = std::min(size_ + count, capacity);
}

size_t OutputHistory::Rewind(size_t count) {
    pending_ = std::min(size_, pending_ + count);
    return pending_;
}

size_t OutputHistory::Replay(int32_t* out, size_t count) {
    const size_t capacity = Capacity();
    count = std::min(count, pending_);
    if (count == 0)
        return 0;
    size_t start = (end_ + capacity - pending_) % capacity;
    const size_t first = std::min(count, capacity - start);
    std::memcpy(out, &data_[start * 2], first * 2 * sizeof(int32_t));
    std::memcpy(out + first * 2, &data_[0], (count - first) * 2 * sizeof(int32_t));
    pending_ -= count;
    return count;
}
