#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Which exchange a frame belongs to.
enum class TrafficLink : std::uint8_t { Modbus, Bootloader };
enum class TrafficDirection : std::uint8_t { Sent, Received };

// What became of a received frame (Sent frames carry None).
enum class Verdict : std::uint8_t {
    None,
    Good,          // taken: a correct reply, echo or ACK
    Foreign,       // taken, but from another station or for another function
    Timeout,       // nothing arrived
    Incomplete,    // fewer bytes than the reply needs
    BadCrc,        // the right length (or more) without a frame whose CRC is right
    Exception,     // an exception reply; detail holds its code
    LeadingBytes,  // a correct reply with bytes in front of it; detail holds their count
    ExtraBytes,    // a correct reply followed by more bytes; detail holds their count
    EchoMismatch,  // a write echo that differs from the request
    Nack,          // the bootloader refused
    Rejected,      // a bootloader reply that is not the one awaited
    Late,          // a correct reply that was complete only after the wait had ended
};

// True for every verdict that means the line or the module did not answer as asked.
constexpr bool IsError(Verdict verdict) {
    return verdict != Verdict::None && verdict != Verdict::Good;
}

// One frame as it went over the line. The first kInlineBytes bytes are kept inside the
// record, which covers a whole read reply (205 bytes) and a bootloader data block (258).
struct TrafficFrame {
    static constexpr int kInlineBytes = 260;

    std::uint64_t sequence = 0;  // 1 for the first frame ever recorded
    std::uint32_t tickMs = 0;    // the recording clock's millisecond tick
    std::uint16_t length = 0;    // bytes on the line
    std::uint16_t detail = 0;    // see Verdict
    TrafficLink link = TrafficLink::Modbus;
    TrafficDirection direction = TrafficDirection::Sent;
    Verdict verdict = Verdict::None;
    std::uint8_t bytes[kInlineBytes] = {};

    int KeptBytes() const { return length < kInlineBytes ? length : kInlineBytes; }
};

// A fixed number of frames, the oldest overwritten by the newest. All memory is taken when
// the ring is made; recording a frame is one copy into the next slot.
class TrafficRing {
public:
    static constexpr int kDefaultCapacity = 8192;

    explicit TrafficRing(int capacity = kDefaultCapacity);

    int Capacity() const { return capacity_; }
    std::size_t MemoryBytes() const {
        return static_cast<std::size_t>(capacity_) * sizeof(TrafficFrame);
    }

    // Records a frame; gives the record, which stays the newest until the next Push.
    TrafficFrame& Push(TrafficLink link, TrafficDirection direction, std::uint32_t tickMs,
                       const std::uint8_t* bytes, int count, Verdict verdict = Verdict::None,
                       std::uint16_t detail = 0);
    // Appends bytes to the newest frame (a frame sent in pieces); beyond the inline room only
    // the length grows.
    void Extend(const std::uint8_t* bytes, int count);

    // Sequence numbers held: First() to Last() (First() is above Last() while empty).
    std::uint64_t First() const { return next_ - static_cast<std::uint64_t>(Size()); }
    std::uint64_t Last() const { return next_ - 1; }
    int Size() const {
        return next_ - 1 < static_cast<std::uint64_t>(capacity_) ? static_cast<int>(next_ - 1)
                                                                 : capacity_;
    }
    // The frame with this sequence number, or null when it is not (or no longer) held.
    const TrafficFrame* Find(std::uint64_t sequence) const;
    TrafficFrame* Newest();

private:
    int capacity_;
    std::unique_ptr<TrafficFrame[]> frames_;
    std::uint64_t next_ = 1;
};
