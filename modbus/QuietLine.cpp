#include "QuietLine.h"

#include <algorithm>

#include "TickClock.h"
#include "ZQ_ComDrv.h"

namespace {

// 8 data bits, even parity, one stop bit and the start bit.
constexpr std::uint64_t kBitsPerCharacter = 11;
constexpr std::uint64_t kGapHalfCharacters = 7;  // 3.5 characters
constexpr std::uint32_t kMinGapMicros = 1750;    // fixed gap of Modbus RTU above 19200 baud
constexpr std::uint64_t kLongestFrameBytes = 256;

std::uint64_t CeilDiv(std::uint64_t n, std::uint64_t d) {
    return (n + d - 1) / d;
}

// Silence that ends a frame, in microseconds.
std::uint32_t InterFrameGapMicros(std::uint32_t baud) {
    const std::uint64_t micros =
        CeilDiv(kGapHalfCharacters * kBitsPerCharacter * 1'000'000, 2ull * baud);
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(micros, kMinGapMicros));
}

// Whole milliseconds of silence that cover the gap.
std::uint32_t QuietLineMs(std::uint32_t baud) {
    return static_cast<std::uint32_t>(CeilDiv(InterFrameGapMicros(baud), 1000));
}

// Longest wait: one frame of the longest RTU size, then the gap.
std::uint32_t QuietLineLimitMs(std::uint32_t baud) {
    const std::uint64_t frameMs = CeilDiv(kLongestFrameBytes * kBitsPerCharacter * 1000, baud);
    return static_cast<std::uint32_t>(frameMs) + QuietLineMs(baud);
}

}  // namespace

void AwaitQuietLine(VEVErizEvezad& driver, TickClock& clock, int owedBytes) {
    driver.RxCount = 0;
    if (!driver.Connected()) {
        return;
    }
    const std::uint32_t baud = driver.BaudRate();
    const std::uint32_t quietMs = QuietLineMs(baud);
    const std::uint32_t limitMs = QuietLineLimitMs(baud);
    const std::uint32_t start = clock.tickCount();
    // A poll takes in everything that arrived before it, so a poll that brings nothing proves
    // the line silent since the driver last took bytes in; a line quiet since the last reply
    // lets the request go at once. Bytes are dated by the tick read after the poll that brought
    // them, silence by the tick read before the poll that found none: the thread can be held
    // between a poll and a tick, and that time proves nothing. The silence must last a whole
    // tick more than the gap, since a tick count only tells time to within one millisecond.
    std::uint32_t lastHeard = start - std::min(driver.MillisecondsSinceArrival(), quietMs + 1);
    for (;;) {
        const std::uint32_t beforePoll = clock.tickCount();
        driver.PollReceive();
        const std::uint32_t now = clock.tickCount();
        if (driver.RxCount > 0) {
            owedBytes = std::max(owedBytes - driver.RxCount, 0);
            driver.RxCount = 0;
            lastHeard = now;
        } else if (owedBytes <= 0 && beforePoll - lastHeard > quietMs) {
            return;
        }
        if (now - start >= limitMs) {
            return;  // a line that never falls silent: go on as without the wait
        }
        clock.sleep(kQuietPollPauseMs);
    }
}
