#pragma once
#include <cstddef>
#include <cstdint>

// Where the engine's mix goes: a device that pulls 44.1 kHz 16-bit stereo frames on a thread of
// its own. The engine calls the operations from one thread at a time and never while it holds a
// lock that Pull takes.
class AudioOutput {
public:
    class Source {
    public:
        // Fills up to frames interleaved stereo frames; called on the output's thread. Returns
        // how many it filled: fewer means there is nothing more to play for now, and the output
        // may then stop asking once what it holds has been heard.
        virtual size_t Pull(int16_t* out, size_t frames) = 0;

    protected:
        ~Source() = default;
    };

    virtual ~AudioOutput() = default;

    // True when it asks for more at once than a decoder makes in one step (a long buffer), so
    // a pull may wait a little for decoders that have just started or moved.
    virtual bool LongBuffer() const { return false; }
    // About how many frames pass between a Pull and their being heard.
    virtual size_t DelayFrames() const { return 0; }
    // The device went away: nothing more is pulled; only Close is of use.
    virtual bool Failed() const { return false; }
    // Applies the volume (0 to 100, linear) itself, heard at once however long its buffer;
    // false when it cannot, and the caller scales the samples it hands over instead.
    virtual bool SetVolume(int) { return false; }

    // Opens the device held: nothing is pulled until Play. False when it cannot be opened;
    // true at once when it is open.
    virtual bool Open(Source& source) = 0;
    // Pulls (again); also after Pull said there was nothing more.
    virtual void Play() = 0;
    // Stops at once: nothing more is pulled or heard until Play. Returns how many of the frames
    // pulled last were dropped unheard (the caller plays them again if it wants them heard).
    virtual size_t Halt() = 0;
    virtual void Close() = 0;
};
