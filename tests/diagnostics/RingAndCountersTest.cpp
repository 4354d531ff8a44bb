#include <gtest/gtest.h>

#include <vector>

#include "LineCounters.h"
#include "LineRecorder.h"
#include "TrafficRing.h"

namespace {

TEST(TrafficRing, KeepsTheNewestFramesAndForgetsTheOldest) {
    TrafficRing ring(3);
    const std::uint8_t bytes[300] = {7};
    for (int i = 0; i < 5; ++i) {
        ring.Push(TrafficLink::Modbus, TrafficDirection::Sent, static_cast<std::uint32_t>(i), bytes,
                  1 + i);
    }
    EXPECT_EQ(ring.Size(), 3);
    EXPECT_EQ(ring.First(), 3u);
    EXPECT_EQ(ring.Last(), 5u);
    EXPECT_EQ(ring.Find(2), nullptr);
    EXPECT_EQ(ring.Find(6), nullptr);
    ASSERT_NE(ring.Find(4), nullptr);
    EXPECT_EQ(ring.Find(4)->length, 4);
    // A frame longer than the inline room keeps its length and only the room's bytes.
    ring.Push(TrafficLink::Bootloader, TrafficDirection::Sent, 9, bytes, 1);
    ring.Extend(bytes, 300);
    EXPECT_EQ(ring.Find(6)->length, 301);
    EXPECT_EQ(ring.Find(6)->KeptBytes(), TrafficFrame::kInlineBytes);
    // Bad input records nothing harmful.
    ring.Push(TrafficLink::Modbus, TrafficDirection::Received, 0, nullptr, 50);
    EXPECT_EQ(ring.Find(7)->length, 0);
}

TEST(ResponseTimes, MinMeanPercentileMax) {
    ResponseTimes times;
    for (std::uint32_t ms = 1; ms <= 100; ++ms) {
        times.Add(ms);
    }
    times.Add(5000);
    EXPECT_EQ(times.Min(), 1u);
    EXPECT_EQ(times.Max(), 5000u);
    EXPECT_NEAR(times.Mean(), (5050.0 + 5000.0) / 101.0, 1e-9);
    EXPECT_EQ(times.Percentile95(), 96u);
}

TEST(LineStatus, SilenceAndRecentErrorsShowInTheState) {
    std::uint32_t now = 10'000;
    TrafficRing ring(16);
    ModbusRecorder recorder(ring, [&now] { return now; });
    EXPECT_EQ(recorder.Status().state, LineState::Closed);
    recorder.LineOpened(57600);
    EXPECT_EQ(recorder.Status().state, LineState::Replying);
    now += 3'500;
    EXPECT_EQ(recorder.Status(), (LineStatus{LineState::Silent, 3, 0}));
    recorder.ReplyJudged(nullptr, 0, false);  // a time-out
    const std::uint8_t reply[] = {1, 3, 0};
    recorder.ReplyJudged(reply, 3, true);
    EXPECT_EQ(recorder.Status(), (LineStatus{LineState::Errors, 0, 1}));
    now += 61'000;
    recorder.ReplyJudged(reply, 3, true);
    EXPECT_EQ(recorder.Status().state, LineState::Replying);
    EXPECT_NEAR(CycleLimitPollsPerSecond(57600), 1000.0 / 90.0, 1e-9);
}

}  // namespace
