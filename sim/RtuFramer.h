#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "SimTime.h"

namespace vr7c::sim {

// A frame as the line delimited it.
struct RtuFrame {
    std::vector<std::uint8_t> bytes;
    Micros firstByteAt = 0;
    Micros lastByteAt = 0;
    bool overrun = false;  // more than kMaxFrameBytes arrived; the frame is unusable
};

// Cuts the received byte stream into Modbus RTU frames: a frame ends when the line has been
// silent for the given silence time (3.5 character times) after its last byte.
class RtuFramer {
public:
    static constexpr std::size_t kMaxFrameBytes = 256;

    // A byte arrived at `now`. If the silence before it was long enough, the frame before it
    // is complete and this byte starts a new one.
    void push(std::uint8_t byte, Micros now, Micros silence);

    // The next frame that is complete at `now`, oldest first.
    std::optional<RtuFrame> poll(Micros now, Micros silence);

    // When the frame being collected will be complete if nothing more arrives.
    std::optional<Micros> deadline(Micros silence) const;

    // True while bytes of an unfinished frame are held.
    bool collecting() const { return collecting_; }

    // Everything held, complete or not, in arrival order; the framer is empty afterwards.
    std::vector<std::uint8_t> drain();

    void reset();

private:
    void closeCurrent();

    std::deque<RtuFrame> complete_;
    RtuFrame current_;
    bool collecting_ = false;
};

}  // namespace vr7c::sim
