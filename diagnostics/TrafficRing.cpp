#include "TrafficRing.h"

#include <algorithm>
#include <cstring>

TrafficRing::TrafficRing(int capacity)
    : capacity_(std::max(1, capacity)),
      frames_(std::make_unique<TrafficFrame[]>(static_cast<std::size_t>(capacity_))) {}

TrafficFrame& TrafficRing::Push(TrafficLink link, TrafficDirection direction, std::uint32_t tickMs,
                                const std::uint8_t* bytes, int count, Verdict verdict,
                                std::uint16_t detail) {
    TrafficFrame& frame = frames_[next_ % static_cast<std::uint64_t>(capacity_)];
    frame.sequence = next_++;
    frame.tickMs = tickMs;
    // Bounds: a negative count records no bytes; a count past 65535 is held at 65535.
    const int length = std::clamp(bytes == nullptr ? 0 : count, 0, 0xFFFF);
    frame.length = static_cast<std::uint16_t>(length);
    frame.detail = detail;
    frame.link = link;
    frame.direction = direction;
    frame.verdict = verdict;
    if (length > 0) {
        std::memcpy(frame.bytes, bytes,
                    static_cast<std::size_t>(std::min(length, TrafficFrame::kInlineBytes)));
    }
    return frame;
}

void TrafficRing::Extend(const std::uint8_t* bytes, int count) {
    TrafficFrame* frame = Newest();
    if (frame == nullptr || bytes == nullptr || count <= 0) {
        return;
    }
    const int kept = frame->KeptBytes();
    const int copied = std::clamp(TrafficFrame::kInlineBytes - kept, 0, count);
    if (copied > 0) {
        std::memcpy(frame->bytes + kept, bytes, static_cast<std::size_t>(copied));
    }
    frame->length = static_cast<std::uint16_t>(std::min(frame->length + count, 0xFFFF));
}

const TrafficFrame* TrafficRing::Find(std::uint64_t sequence) const {
    if (sequence == 0 || sequence < First() || sequence > Last()) {
        return nullptr;
    }
    return &frames_[sequence % static_cast<std::uint64_t>(capacity_)];
}

TrafficFrame* TrafficRing::Newest() {
    if (next_ == 1) {
        return nullptr;
    }
    return &frames_[(next_ - 1) % static_cast<std::uint64_t>(capacity_)];
}
