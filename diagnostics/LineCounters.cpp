#include "LineCounters.h"

#include <algorithm>

void ResponseTimes::Add(std::uint32_t ms) {
    min_ = count_ == 0 ? ms : std::min(min_, ms);
    max_ = std::max(max_, ms);
    sum_ += ms;
    ++count_;
    ++buckets_[std::min<std::uint32_t>(ms, kBuckets - 1)];
}

std::uint32_t ResponseTimes::Percentile95() const {
    if (count_ == 0) {
        return 0;
    }
    // The rank of the 95th percentile, rounded up: at least 95% lie at or below it.
    const std::uint64_t rank = (static_cast<std::uint64_t>(count_) * 95 + 99) / 100;
    std::uint64_t seen = 0;
    for (int ms = 0; ms < kBuckets; ++ms) {
        seen += buckets_[static_cast<std::size_t>(ms)];
        if (seen >= rank) {
            return std::min<std::uint32_t>(static_cast<std::uint32_t>(ms), max_);
        }
    }
    return max_;
}

void MinuteErrors::Add(std::uint32_t tickMs) {
    const std::uint32_t second = tickMs / 1000 + 1;
    const std::size_t slot = second % second_.size();
    if (second_[slot] != second) {
        second_[slot] = second;
        errors_[slot] = 0;
    }
    ++errors_[slot];
}

int MinuteErrors::Count(std::uint32_t nowMs) const {
    const std::uint32_t now = nowMs / 1000 + 1;
    std::uint32_t total = 0;
    for (std::size_t slot = 0; slot < second_.size(); ++slot) {
        // Unsigned difference: the slot counts only if its second lies in the last 60.
        if (second_[slot] != 0 && now - second_[slot] < second_.size()) {
            total += errors_[slot];
        }
    }
    return static_cast<int>(total);
}

std::uint32_t LineCounters::ExceptionTotal() const {
    std::uint32_t total = 0;
    for (const std::uint32_t n : exceptions) {
        total += n;
    }
    return total;
}

double CycleLimitPollsPerSecond(std::uint32_t baud) {
    if (baud == 0) {
        return 0.0;
    }
    constexpr double kTickMs = 30.0;
    constexpr double kBitsPerByte = 11.0;
    const double wireMs = (8 + 205 + 3.5) * kBitsPerByte * 1000.0 / baud;
    const int replyTick = static_cast<int>(wireMs / kTickMs) + 1;
    return 1000.0 / (kTickMs * (replyTick + 1));
}
