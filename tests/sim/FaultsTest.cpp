// Fault injection: each kind does what it says, forced or by percentage, reproducibly.

#include <gtest/gtest.h>

#include "ModbusSlave.h"
#include "SimCrc.h"
#include "SimTestSupport.h"

namespace vr7c::sim::test {
namespace {

class Faults : public ::testing::Test {
protected:
    Faults() { driver.module.model().setFrozen(true); }

    FaultInjector& faults() { return driver.module.faults(); }
    const SlaveCounters& counters() { return driver.module.slave().counters(); }

    ModuleDriver driver;
    const Bytes read = readRequest(1, 0, 100);
    const Bytes write = writeRequest(1, 30, 1111);
};

TEST_F(Faults, NamesRoundTrip) {
    for (std::size_t i = 0; i < kFaultKindCount; ++i) {
        const auto kind = static_cast<FaultKind>(i);
        EXPECT_EQ(faultFromName(faultName(kind)), kind);
    }
    EXPECT_EQ(faultFromName("partial-echo"), FaultKind::PartialEcho);
    EXPECT_FALSE(faultFromName("nonsense"));
}

TEST_F(Faults, Drop_WriteIsCarriedOutButNotAnswered) {
    faults().force(FaultKind::Drop, 1);
    EXPECT_TRUE(driver.exchange(write).bytes.empty());
    EXPECT_EQ(driver.module.model().get(30), 1111);
    EXPECT_EQ(faults().injected(FaultKind::Drop), 1u);
    // Only the next one.
    EXPECT_EQ(hex(driver.exchange(write).bytes), hex(write));
}

TEST_F(Faults, Drop_ReadStillCountsItsSequenceNumber) {
    faults().force(FaultKind::Drop, 1);
    EXPECT_TRUE(driver.exchange(read).bytes.empty());
    const Received next = driver.exchange(read);
    ASSERT_EQ(next.bytes.size(), 205u);
    EXPECT_EQ(next.bytes[3 + 2 * 97 + 1], 2);  // reply 1 was lost on the line
}

TEST_F(Faults, SentReadReplies_AreRecordedWithWhetherTheyWentOutIntact) {
    faults().force(FaultKind::BadCrc, 1);
    driver.exchange(read);
    faults().force(FaultKind::Split, 1);
    driver.exchange(read);
    faults().force(FaultKind::NoiseAfter, 1);
    driver.exchange(read);
    faults().force(FaultKind::Drop, 1);
    driver.exchange(read);
    driver.exchange(read);
    const ModbusSlave& slave = driver.module.slave();
    // Noise after a reply leaves the reply itself intact.
    const bool expected[5] = {false, true, true, false, true};
    for (std::uint16_t seq = 1; seq <= 5; ++seq) {
        const auto sent = slave.sentReadReply(seq);
        ASSERT_TRUE(sent) << seq;
        EXPECT_EQ(sent->intact, expected[seq - 1]) << seq;
        EXPECT_EQ(sent->image[97], seq);
    }
    EXPECT_FALSE(slave.sentReadReply(6));
}

TEST_F(Faults, UnheardWriteRegister_FailsOnlyWritesToThatRegister) {
    driver.module.slave().config().unheardWriteRegister = 96;
    EXPECT_TRUE(driver.exchange(writeRequest(1, 96, 59881)).bytes.empty());
    EXPECT_EQ(hex(driver.exchange(write).bytes), hex(write));
    EXPECT_EQ(driver.exchange(read).bytes.size(), 205u);
}

TEST_F(Faults, Silence_RequestIsNotEvenCarriedOut) {
    faults().force(FaultKind::Silence, 2);
    EXPECT_TRUE(driver.exchange(write).bytes.empty());
    EXPECT_TRUE(driver.exchange(read).bytes.empty());
    EXPECT_NE(driver.module.model().get(30), 1111);
    EXPECT_EQ(driver.module.model().get(97), 0);
    EXPECT_EQ(counters().requestsSeen, 2u);
    EXPECT_EQ(counters().repliesSent, 0u);
    EXPECT_EQ(driver.exchange(read).bytes.size(), 205u);
}

TEST_F(Faults, BadCrc_ReplyHasItsLengthAndContentButAWrongCrc) {
    faults().force(FaultKind::BadCrc, 1);
    const Received bad = driver.exchange(read);
    ASSERT_EQ(bad.bytes.size(), 205u);
    EXPECT_FALSE(crcMatches(bad.bytes));
    EXPECT_EQ(bad.bytes[2], 200);
    const std::uint16_t crc = crc16(std::span(bad.bytes).first(203));
    EXPECT_NE(bad.bytes[203] | bad.bytes[204] << 8, crc);
}

TEST_F(Faults, Split_ReplyComesInPiecesWithGapsOf20To80Ms) {
    faults().force(FaultKind::Split, 1);
    const Received split = driver.exchange(read);
    ASSERT_EQ(split.bytes.size(), 205u);
    EXPECT_TRUE(crcMatches(split.bytes));
    const Micros charTime = LineTiming{}.charactersTime(1);
    int gaps = 0;
    for (std::size_t i = 1; i < split.times.size(); ++i) {
        const Micros step = split.times[i] - split.times[i - 1];
        if (step > charTime + 1) {
            ++gaps;
            EXPECT_GE(step, 20 * kMicrosPerMilli + charTime - 1);
            EXPECT_LE(step, 80 * kMicrosPerMilli + charTime + 1);
        }
    }
    EXPECT_GE(gaps, 1);
    EXPECT_LE(gaps, 3);
}

TEST_F(Faults, Split_GapsFollowTheConfiguration) {
    driver.module.slave().config().splitGapMin = 5 * kMicrosPerMilli;
    driver.module.slave().config().splitGapMax = 5 * kMicrosPerMilli;
    faults().force(FaultKind::Split, 1);
    const Received split = driver.exchange(read);
    const Micros charTime = LineTiming{}.charactersTime(1);
    for (std::size_t i = 1; i < split.times.size(); ++i) {
        const Micros step = split.times[i] - split.times[i - 1];
        EXPECT_TRUE(step <= charTime + 1 ||
                    (step >= 5'000 + charTime - 1 && step <= 5'000 + charTime + 1))
            << step;
    }
}

TEST_F(Faults, NoiseBefore_OneToThreeBytesStandBeforeAGoodReply) {
    faults().force(FaultKind::NoiseBefore, 1);
    const Received noisy = driver.exchange(read);
    ASSERT_GE(noisy.bytes.size(), 206u);
    ASSERT_LE(noisy.bytes.size(), 208u);
    EXPECT_FALSE(crcMatches(noisy.bytes));
    EXPECT_TRUE(crcMatches(std::span(noisy.bytes).last(205)));
}

TEST_F(Faults, NoiseAfter_OneToThreeBytesFollowAGoodReply) {
    faults().force(FaultKind::NoiseAfter, 1);
    const Received noisy = driver.exchange(read);
    ASSERT_GE(noisy.bytes.size(), 206u);
    ASSERT_LE(noisy.bytes.size(), 208u);
    EXPECT_TRUE(crcMatches(std::span(noisy.bytes).first(205)));
}

TEST_F(Faults, PartialEcho_WriteGetsFiveBytesAndReadsAreNotAffected) {
    faults().force(FaultKind::PartialEcho, 1);
    EXPECT_EQ(driver.exchange(read).bytes.size(), 205u);  // not eligible, not used up
    const Received partial = driver.exchange(write);
    EXPECT_EQ(hex(partial.bytes), hex(std::span(write).first(5)));
    EXPECT_EQ(driver.module.model().get(30), 1111);
    EXPECT_EQ(faults().injected(FaultKind::PartialEcho), 1u);
    EXPECT_EQ(hex(driver.exchange(write).bytes), hex(write));
}

TEST_F(Faults, PartialEcho_LengthIsConfigurable) {
    driver.module.slave().config().partialEchoBytes = 2;
    faults().force(FaultKind::PartialEcho, 1);
    EXPECT_EQ(hex(driver.exchange(write).bytes), hex(std::span(write).first(2)));
}

TEST_F(Faults, Exception_ReplacesTheReplyAndTheWriteIsNotCarriedOut) {
    faults().force(FaultKind::Exception, 2);
    EXPECT_EQ(hex(driver.exchange(read).bytes), hex(withCrc({0x01, 0x83, 0x04})));
    EXPECT_EQ(hex(driver.exchange(write).bytes), hex(withCrc({0x01, 0x86, 0x04})));
    EXPECT_NE(driver.module.model().get(30), 1111);
    EXPECT_EQ(counters().exceptionReplies, 0u);  // standard exceptions only
}

TEST_F(Faults, Slow_ReplyStartsTheSlowDelayLater) {
    const Micros sent = driver.now;
    const Received normal = driver.exchange(read);
    const Micros normalDelay = normal.times.front() - sent;
    faults().force(FaultKind::Slow, 1);
    const Micros sentSlow = driver.now;
    const Received slow = driver.exchange(read);
    ASSERT_EQ(slow.bytes.size(), 205u);
    EXPECT_EQ(slow.times.front() - sentSlow, normalDelay + 200 * kMicrosPerMilli);
}

TEST_F(Faults, PercentageHitsAboutThatShareOfReplies) {
    faults().setPercent(FaultKind::Drop, 30);
    int answered = 0;
    for (int i = 0; i < 500; ++i) {
        answered +=
            driver.exchange(readRequest(1, 11, 1), 10 * kMicrosPerMilli).bytes.empty() ? 0 : 1;
    }
    EXPECT_EQ(faults().injected(FaultKind::Drop), static_cast<std::uint64_t>(500 - answered));
    EXPECT_GT(answered, 300);
    EXPECT_LT(answered, 400);
}

TEST_F(Faults, SameSeedGivesTheSameFaults) {
    auto runOnce = [&](std::uint64_t seed) {
        ModuleConfig config;
        config.seed = seed;
        ModuleDriver d(config);
        for (std::size_t i = 0; i < kFaultKindCount; ++i) {
            d.module.faults().setPercent(static_cast<FaultKind>(i), 20);
        }
        Bytes all;
        for (int i = 0; i < 50; ++i) {
            const Received r = d.exchange(i % 2 ? read : write);
            all.insert(all.end(), r.bytes.begin(), r.bytes.end());
        }
        return all;
    };
    EXPECT_EQ(runOnce(7), runOnce(7));
    EXPECT_NE(runOnce(7), runOnce(8));
}

TEST_F(Faults, ClearStopsForcedAndRandomFaults) {
    faults().setPercent(FaultKind::Drop, 100);
    faults().force(FaultKind::BadCrc, 5);
    faults().clear();
    const Received r = driver.exchange(read);
    ASSERT_EQ(r.bytes.size(), 205u);
    EXPECT_TRUE(crcMatches(r.bytes));
}

}  // namespace
}  // namespace vr7c::sim::test
