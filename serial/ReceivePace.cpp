#include "ReceivePace.h"

#include <algorithm>

void ReceivePace::Start(std::uint32_t periodMs, std::uint32_t characterMicros) {
    *this = ReceivePace();
    periodMs_ = std::max<std::uint32_t>(periodMs, 1);
    characterMicros_ = characterMicros;
}

ReceivePace::Next ReceivePace::Arrived(std::uint32_t now, std::uint32_t bytes) {
    if (bytes == 0) {
        // Woken with nothing to read (a hang-up, or bytes a direct poll took first): the
        // regular poll looks again, so a port that keeps waking cannot spin.
        return Period();
    }
    if (burst_ > 0 && now - lastBytesAt_ <= periodMs_) {
        // More of the burst the pace slept on after it reached the remembered length.
        overrun_ = true;
    } else {
        EndBurst();
    }
    return Took(now, bytes);
}

ReceivePace::Next ReceivePace::Read(std::uint32_t now, std::uint32_t bytes) {
    if (bytes == 0) {
        EndBurst();
        return {true, 0};
    }
    return Took(now, bytes);
}

ReceivePace::Next ReceivePace::Took(std::uint32_t now, std::uint32_t bytes) {
    burst_ = std::min(burst_ + std::min(bytes, kLongestBurst), kLongestBurst);
    lastBytesAt_ = now;
    if (learned_ == 0 || overrun_) {
        return Period();
    }
    if (burst_ >= learned_) {
        return {true, 0};
    }
    // The rest of the remembered length at the line's pace, rounded up, and one millisecond
    // for the last byte to pass from the port into the system's queue.
    const std::uint64_t restMicros =
        static_cast<std::uint64_t>(learned_ - burst_) * characterMicros_;
    return {false, static_cast<std::uint32_t>((restMicros + 999) / 1000) + 1};
}

void ReceivePace::EndBurst() {
    if (burst_ > 0) {
        learned_ = burst_;
    }
    burst_ = 0;
    overrun_ = false;
}
