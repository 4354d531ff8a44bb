#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "SimTime.h"

namespace vr7c::sim {

// The module's transmitter: a queue of bytes, each stamped with the moment a receiver at the
// other end of a real line would have it complete (its stop bit sent). Bytes go out one after
// the other at the line's character time; the line carries one byte at a time, so a later
// transmission starts only once the earlier one has ended.
class LineOutput {
public:
    explicit LineOutput(LineTiming timing = {}) : timing_(timing) {}

    const LineTiming& timing() const { return timing_; }
    void setTiming(const LineTiming& timing) { timing_ = timing; }

    // Queues the bytes to start no earlier than notBefore. Gives the moment the last of them
    // has been delivered (notBefore, or when the line frees up, if there are no bytes).
    Micros send(std::span<const std::uint8_t> bytes, Micros notBefore);

    // Moves the bytes delivered by `now` to the end of `out`; gives how many.
    std::size_t takeDue(Micros now, std::vector<std::uint8_t>& out);

    // Delivery time of the next queued byte.
    std::optional<Micros> nextDue() const;
    bool empty() const { return queue_.empty(); }
    std::size_t pending() const { return queue_.size(); }
    // When the line is free for the next transmission.
    Micros lineFreeAt() const { return lineFreeAt_; }

    // Forgets every queued byte (the listener went away).
    void clear();

private:
    struct TimedByte {
        Micros due;
        std::uint8_t byte;
    };
    LineTiming timing_;
    std::deque<TimedByte> queue_;
    Micros lineFreeAt_ = 0;
};

}  // namespace vr7c::sim
