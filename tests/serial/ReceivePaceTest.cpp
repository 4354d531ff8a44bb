#include <gtest/gtest.h>

#include <vector>

#include "ReceivePace.h"

namespace {

constexpr std::uint32_t kPeriod = 5;
constexpr std::uint32_t kCharacterMicros = 191;  // 11 bits at 57600 baud

using Next = ReceivePace::Next;
constexpr Next kSleep{true, 0};
constexpr Next kPeriodStep{false, kPeriod};
constexpr Next After(std::uint32_t ms) {
    return {false, ms};
}

enum Event { kArrival, kRead, kSent, kAwaiting };

// A read woken by an arrival, a timed read, or bytes sent (with an answer of a told length);
// at a tick, with its bytes, and what must follow.
struct Step {
    Event event;
    std::uint32_t at;
    std::uint32_t bytes;
    Next next;
    std::uint32_t answer = 0;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

}  // namespace

TEST(ReceivePace, ReadsAReplyWhenTheRestOfTheLastBurstsLengthCanHaveArrived) {
    // Every case starts with a 205-byte burst learnt while nothing was known: read every
    // period, ended by an empty read.
    const std::vector<Step> learn205 = {
        {kArrival, 0, 20, kPeriodStep}, {kRead, 5, 185, kPeriodStep}, {kRead, 10, 0, kSleep}};
    const Case cases[] = {
        {"the same length again: the rest (185 characters, 35.3 ms) and 1 ms",
         {{kArrival, 100, 20, After(37)}, {kRead, 137, 185, kSleep}}},
        {"the rest comes slower than the line's pace: read again for what is missing",
         {{kArrival, 100, 20, After(37)}, {kRead, 137, 180, After(2)}, {kRead, 139, 5, kSleep}}},
        {"a shorter burst (an exception reply) is learnt when the read finds no more",
         {{kArrival, 100, 5, After(40)}, {kRead, 140, 0, kSleep}, {kArrival, 200, 5, kSleep}}},
        {"a longer one goes on past the sleep: read every period until it ends, then learnt",
         {{kArrival, 100, 205, kSleep},
          {kArrival, 102, 30, kPeriodStep},
          {kRead, 107, 0, kSleep},
          {kArrival, 200, 200, After(8)}}},
        {"bytes long after the last burst start a new one",
         {{kArrival, 100, 205, kSleep}, {kArrival, 150, 20, After(37)}}},
        {"an answer to a request: read once the request and the reply can have passed",
         {{kSent, 100, 8, After(42)}, {kRead, 142, 205, kSleep}}},
        {"an answer that starts late: the rest is read when it can have arrived",
         {{kSent, 100, 8, After(42)}, {kRead, 142, 150, After(12)}, {kRead, 154, 55, kSleep}}},
        {"the peer's delay is learnt from an answer that needed a second read",
         {{kSent, 100, 8, After(42)},
          {kRead, 142, 190, After(4)},
          {kRead, 146, 15, kSleep},
          {kSent, 200, 8, After(46)},
          {kRead, 246, 205, kSleep},
          {kSent, 300, 8, After(46)}}},
        {"but never waited for beyond a poll period after the answer's time on the line",
         {{kSent, 100, 8, After(42)},
          {kRead, 142, 0, kSleep},
          {kArrival, 190, 205, kSleep},
          {kSent, 300, 8, After(47)}}},
        {"an answer of a told length: read once it and the request can have passed",
         {{kAwaiting, 100, 5, After(5), 15}, {kRead, 105, 15, kSleep}}},
        {"the rest of a told length, when it can have arrived",
         {{kAwaiting, 100, 5, After(5), 15}, {kRead, 105, 8, After(3)}, {kRead, 108, 7, kSleep}}},
        {"a told answer that comes late (a page erase) is read at once when it arrives",
         {{kAwaiting, 100, 30, After(7), 1},
          {kRead, 107, 0, kSleep},
          {kArrival, 900, 1, kSleep},
          {kAwaiting, 1000, 2, After(2), 1}}},
        {"a wake with nothing to read (a hang-up) falls back to the period, never spins",
         {{kArrival, 100, 0, kPeriodStep},
          {kRead, 105, 0, kSleep},
          {kArrival, 200, 20, After(37)}}},
    };
    for (const Case& c : cases) {
        ReceivePace pace;
        pace.Start(kPeriod, kCharacterMicros);
        // While no length is known, sending changes nothing.
        EXPECT_FALSE(pace.Sent(0, 8).has_value()) << c.name;
        std::vector<Step> steps = learn205;
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const Step& s = steps[i];
            const Next next = s.event == kArrival    ? pace.Arrived(s.at, s.bytes)
                              : s.event == kRead     ? pace.Read(s.at, s.bytes)
                              : s.event == kAwaiting ? pace.Awaiting(s.at, s.bytes, s.answer)
                                                     : pace.Sent(s.at, s.bytes).value_or(Next{});
            EXPECT_EQ(next.sleep, s.next.sleep) << c.name << ", read " << i;
            EXPECT_EQ(next.ms, s.next.ms) << c.name << ", read " << i;
        }
    }
}

TEST(ReceivePace, NoiseLongerThanTheInputBufferIsNeverWaitedForWhole) {
    ReceivePace pace;
    pace.Start(kPeriod, kCharacterMicros);
    pace.Arrived(0, 4000);
    for (std::uint32_t t = 5; t < 500; t += 5) {
        pace.Read(t, 4000);
    }
    pace.Read(500, 0);
    // At most the longest remembered burst's time: 1,023 characters, 195.4 ms.
    EXPECT_EQ(pace.Arrived(1000, 1), After(197));
}
