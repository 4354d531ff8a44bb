#include "ReceivePace.h"

#include <algorithm>

void ReceivePace::Start(std::uint32_t periodMs, std::uint32_t characterMicros) {
    *this = ReceivePace();
    periodMs_ = std::max<std::uint32_t>(periodMs, 1);
    characterMicros_ = characterMicros;
}

std::optional<ReceivePace::Next> ReceivePace::Sent(std::uint32_t now, std::uint32_t bytes) {
    if (learned_ == 0 || overrun_) {
        return std::nullopt;
    }
    EndBurst();
    // The last answer may have taken longer than its time on the line (the peer's own delay);
    // waiting that long again is worth one wake-up less, but never more than a poll period.
    onLineMs_ = AfterCharacters(std::min(bytes, kLongestBurst) + learned_).ms;
    sentAt_ = now;
    answer_ = Answer::FirstRead;
    return Next{false, std::max(onLineMs_, std::min(answerMs_, onLineMs_ + periodMs_))};
}

ReceivePace::Next ReceivePace::Awaiting(std::uint32_t now, std::uint32_t bytes,
                                        std::uint32_t answerBytes) {
    EndBurst();
    // The told length stands for the learned one; how long the last answer took says nothing
    // about this one.
    learned_ = std::clamp<std::uint32_t>(answerBytes, 1, kLongestBurst);
    answer_ = Answer::None;
    sentAt_ = now;
    return AfterCharacters(std::min(bytes, kLongestBurst) + learned_);
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
        if (answer_ == Answer::FirstRead) {
            answer_ = Answer::LaterRead;
        }
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
        if (answer_ == Answer::LaterRead) {
            answerMs_ = now - sentAt_;
        }
        answer_ = Answer::None;
        return {true, 0};
    }
    if (answer_ == Answer::FirstRead) {
        answer_ = Answer::LaterRead;
    }
    return AfterCharacters(learned_ - burst_);
}

ReceivePace::Next ReceivePace::AfterCharacters(std::uint32_t characters) const {
    // At the line's pace, rounded up, and one millisecond for the last byte to pass from the
    // port into the system's queue.
    const std::uint64_t micros = static_cast<std::uint64_t>(characters) * characterMicros_;
    return {false, static_cast<std::uint32_t>((micros + 999) / 1000) + 1};
}

void ReceivePace::EndBurst() {
    if (burst_ > 0) {
        learned_ = burst_;
    }
    burst_ = 0;
    overrun_ = false;
}
