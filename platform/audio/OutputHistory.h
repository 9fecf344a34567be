#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The last frames handed to an output, kept so that those it drops unheard (a pause cuts the
// output at once) can be handed to it again: Rewind marks the newest frames as not yet played,
// Replay gives them back in order. Interleaved stereo of the mix before the volume. Not
// synchronised: the owner's mutex guards it.
class OutputHistory {
public:
    explicit OutputHistory(size_t capacityFrames) : data_(capacityFrames * 2) {}

    size_t Capacity() const { return data_.size() / 2; }
    // Frames waiting to be played again.
    size_t Pending() const { return pending_; }
    void Clear() { size_ = pending_ = 0; }

    // Appends frames just handed to the output; the oldest beyond the capacity are forgotten.
    // Only when nothing is pending (Replay comes first).
    void Record(const int32_t* frames, size_t count);
    // The newest count frames were not heard; returns how many of them are still kept.
    size_t Rewind(size_t count);
    // Moves up to count pending frames, oldest first, into out; returns how many.
    size_t Replay(int32_t* out, size_t count);

private:
    std::vector<int32_t> data_;
    size_t end_ = 0;     // frame index after the newest recorded frame
    size_t size_ = 0;    // frames recorded and kept
    size_t pending_ = 0; // the newest of them that Replay gives back
};
