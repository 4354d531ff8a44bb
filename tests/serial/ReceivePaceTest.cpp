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

// One read: woken by an arrival or timed, at a tick, with its bytes, and what must follow.
struct Step {
    bool arrival;
    std::uint32_t at;
    std::uint32_t bytes;
    Next next;
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
        {true, 0, 20, kPeriodStep}, {false, 5, 185, kPeriodStep}, {false, 10, 0, kSleep}};
    const Case cases[] = {
        {"the same length again: the rest (185 characters, 35.3 ms) and 1 ms",
         {{true, 100, 20, After(37)}, {false, 137, 185, kSleep}}},
        {"the rest comes slower than the line's pace: read again for what is missing",
         {{true, 100, 20, After(37)}, {false, 137, 180, After(2)}, {false, 139, 5, kSleep}}},
        {"a shorter burst (an exception reply) is learnt when the read finds no more",
         {{true, 100, 5, After(40)}, {false, 140, 0, kSleep}, {true, 200, 5, kSleep}}},
        {"a longer one goes on past the sleep: read every period until it ends, then learnt",
         {{true, 100, 205, kSleep},
          {true, 102, 30, kPeriodStep},
          {false, 107, 0, kSleep},
          {true, 200, 200, After(8)}}},
        {"bytes long after the last burst start a new one",
         {{true, 100, 205, kSleep}, {true, 150, 20, After(37)}}},
        {"a wake with nothing to read (a hang-up) falls back to the period, never spins",
         {{true, 100, 0, kPeriodStep}, {false, 105, 0, kSleep}, {true, 200, 20, After(37)}}},
    };
    for (const Case& c : cases) {
        ReceivePace pace;
        pace.Start(kPeriod, kCharacterMicros);
        std::vector<Step> steps = learn205;
        steps.insert(steps.end(), c.steps.begin(), c.steps.end());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const Step& s = steps[i];
            const Next next = s.arrival ? pace.Arrived(s.at, s.bytes) : pace.Read(s.at, s.bytes);
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
