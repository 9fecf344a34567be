#include "platform/audio/PcmRing.h"

#include <algorithm>
#include <cstring>

size_t PcmRing::Push(const int16_t* frames, size_t count) {
    count = std::min(count, Free());
    size_t tail = (head_ + size_) % Capacity();
    size_t first = std::min(count, Capacity() - tail);
    std::memcpy(&data_[tail * 2], frames, first * 2 * sizeof(int16_t));
    std::memcpy(&data_[0], frames + first * 2, (count - first) * 2 * sizeof(int16_t));
    size_ += count;
    return count;
}

size_t PcmRing::Pop(int16_t* out, size_t count) {
    count = std::min(count, size_);
    size_t first = std::min(count, Capacity() - head_);
    std::memcpy(out, &data_[head_ * 2], first * 2 * sizeof(int16_t));
    std::memcpy(out + first * 2, &data_[0], (count - first) * 2 * sizeof(int16_t));
    head_ = (head_ + count) % Capacity();
    size_ -= count;
    return count;
}
