#pragma once

#include <array>
#include <cstdint>

// Response times in a fixed histogram of whole milliseconds: minimum, mean, 95th percentile
// and maximum without keeping the samples.
class ResponseTimes {
public:
    static constexpr int kBuckets = 1024;  // 0 to 1022 ms, and 1023 ms or more

    void Add(std::uint32_t ms);
    std::uint32_t Count() const { return count_; }
    std::uint32_t Min() const { return count_ == 0 ? 0 : min_; }
    std::uint32_t Max() const { return max_; }
    double Mean() const { return count_ == 0 ? 0.0 : static_cast<double>(sum_) / count_; }
    // The smallest time that at least 95% of the samples do not exceed (to the millisecond,
    // 1023 standing for "1023 or more").
    std::uint32_t Percentile95() const;

private:
    std::array<std::uint32_t, kBuckets> buckets_{};
    std::uint32_t count_ = 0;
    std::uint32_t min_ = 0;
    std::uint32_t max_ = 0;
    std::uint64_t sum_ = 0;
};

// Errors of the last minute, in sixty one-second slots.
class MinuteErrors {
public:
    void Add(std::uint32_t tickMs);
    int Count(std::uint32_t nowMs) const;

private:
    std::array<std::uint32_t, 60> second_{};  // which second (plus one) a slot counts
    std::array<std::uint32_t, 60> errors_{};
};

// What the Modbus line did since the port was opened or the counters were reset.
struct LineCounters {
    std::uint32_t readsSent = 0;
    std::uint32_t goodReplies = 0;
    std::uint32_t timeouts = 0;    // nothing at all received
    std::uint32_t incomplete = 0;  // fewer bytes than the reply needs
    std::uint32_t crcErrors = 0;
    std::uint32_t foreign = 0;                    // another station or another function answered
    std::array<std::uint32_t, 256> exceptions{};  // exception replies by code
    std::uint32_t leadingBytes = 0;  // bytes that stood in front of a reply (late echo)
    std::uint32_t extraBytes = 0;    // bytes that followed a reply
    std::uint32_t echoMismatches = 0;
    std::uint32_t writesFirstAttempt = 0;
    std::uint32_t writesAfterRetries = 0;
    std::uint32_t writesFailed = 0;
    std::uint32_t lineDrops = 0;  // the line went away while open: adapter pulled, connection lost
    ResponseTimes responseTimes;

    std::uint32_t ExceptionTotal() const;
};

// Good polls a second that the 30 ms cycle allows at this rate: the request goes out on a
// tick, the 8 request and 205 reply bytes take their wire time (11 bits a byte) plus the
// frame silence, the reply is taken on the next tick after that and the next request goes
// out on the tick after.
double CycleLimitPollsPerSecond(std::uint32_t baud);
