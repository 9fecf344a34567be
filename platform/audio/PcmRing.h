#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Fixed-size FIFO of interleaved stereo 16-bit frames. Not synchronised: the owner's mutex
// guards it.
class PcmRing {
public:
    explicit PcmRing(size_t capacityFrames) : data_(capacityFrames * 2) {}

    size_t Capacity() const { return data_.size() / 2; }
    size_t Size() const { return size_; }
    size_t Free() const { return Capacity() - size_; }
    void Clear() { head_ = size_ = 0; }

    // Appends up to Free() frames; returns how many were taken.
    size_t Push(const int16_t* frames, size_t count);
    // Moves up to count frames from the front into out; returns how many.
    size_t Pop(int16_t* out, size_t count);

private:
    std::vector<int16_t> data_;
    size_t head_ = 0; // index of the first frame
    size_t size_ = 0; // frames held
};
