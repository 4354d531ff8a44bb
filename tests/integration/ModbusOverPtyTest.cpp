#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <chrono>

#include "ProcessCpu.h"
#include "RealModbusHost.h"
#include "RegisterMap.h"
#include "SimOnPty.h"

namespace {

using namespace std::chrono_literals;
using vr7c::sim::FaultKind;
using vr7c::sim::SimOptions;

class ModbusOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        SimOptions options;
        options.frozen = true;
        rig = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(rig->started());
        sim = &rig->runner();
        host = std::make_unique<RealModbusHost>(sim->path());
        ASSERT_TRUE(host->driver.Connect());
    }

    // One poll as the console makes it: request, then wait for a complete, correct reply.
    bool Poll(int timeoutMs = 3000) {
        host->master.SendReadRequest(0, 100, 3);
        return host->RunUntil([this] { return host->master.TakeReadReply(0); }, timeoutMs);
    }

    void ExpectImageEqualsLastReply() {
        const auto sent = sim->lastReadImage();
        for (int r = 0; r < 100; ++r) {
            ASSERT_EQ(host->RegisterImage[r], sent[static_cast<std::size_t>(r)])
                << "register " << r;
        }
        EXPECT_EQ(host->RegisterImage[100], 0);
    }

    std::unique_ptr<SimOnPty> rig;
    vr7c::sim::SimRunner* sim = nullptr;
    std::unique_ptr<RealModbusHost> host;
};

TEST_F(ModbusOverPty, Poll_CopiesExactlyTheSimulatorsRegisters) {
    sim->setRegister(11, 150);
    sim->setRegister(40, 0xBEEF);
    ASSERT_TRUE(Poll());
    ExpectImageEqualsLastReply();
    EXPECT_EQ(host->RegisterImage[11], 150);
    EXPECT_EQ(host->RegisterImage[40], 0xBEEF);
    EXPECT_NE(host->RegisterImage[97], 0) << "the reply's sequence number";
}

TEST_F(ModbusOverPty, PlcCanMode_ReadsAndWritesTheBridgedAddresses) {
    sim->setPlcCan(true);
    host->plcCan = true;
    sim->setRegister(33, 777);
    ASSERT_TRUE(Poll());
    ExpectImageEqualsLastReply();
    EXPECT_EQ(host->RegisterImage[33], 777);
    sim->releaseRegister(33);
    EXPECT_TRUE(host->master.WriteRegister(33, 555));
    EXPECT_EQ(sim->reg(33), 555);
}

TEST_F(ModbusOverPty, Write_IsEchoedAndReadBackByTheNextPoll) {
    EXPECT_TRUE(host->master.WriteRegister(30, 1234));
    EXPECT_EQ(sim->reg(30), 1234);
    ASSERT_TRUE(Poll());
    EXPECT_EQ(host->RegisterImage[30], 1234);
}

TEST_F(ModbusOverPty, FaultyReplies_AreNeverTakenAndTheNextGoodOneIs) {
    for (FaultKind kind :
         {FaultKind::BadCrc, FaultKind::NoiseBefore, FaultKind::Drop, FaultKind::Exception}) {
        sim->setRegister(50, 1);
        sim->forceFault(kind, 1);
        EXPECT_FALSE(Poll(400)) << "fault " << static_cast<int>(kind);
        EXPECT_NE(host->RegisterImage[50], 2);
        sim->setRegister(50, 2);
        ASSERT_TRUE(Poll()) << "after fault " << static_cast<int>(kind);
        ExpectImageEqualsLastReply();
        host->RegisterImage.fill(0);
    }
}

// A reply followed by noise is whole until the noise arrives: a poll that falls between the two
// takes it, rightly, and one that comes later refuses reply and noise together. Either way
// nothing but the reply the simulator sent may reach the image.
TEST_F(ModbusOverPty, ReplyFollowedByNoise_IsTakenWholeOrNotAtAll) {
    sim->setRegister(50, 1);
    sim->forceFault(FaultKind::NoiseAfter, 1);
    if (Poll(400)) {
        ExpectImageEqualsLastReply();
    } else {
        EXPECT_EQ(host->RegisterImage[50], 0);
    }
    sim->setRegister(50, 2);
    ASSERT_TRUE(Poll());
    ExpectImageEqualsLastReply();
}

TEST_F(ModbusOverPty, SplitReply_IsTakenOnceAllPiecesHaveArrived) {
    sim->forceFault(FaultKind::Split, 1);
    ASSERT_TRUE(Poll());
    ExpectImageEqualsLastReply();
}

TEST_F(ModbusOverPty, WriteWithoutEcho_FailsAfterSixAttempts) {
    sim->setFault(FaultKind::Drop, 100);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(host->master.WriteRegister(31, 9));
    // Six attempts of 25 pauses of 2 ms and a 100 ms pause each.
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(sim->counters().requestsSeen(), 6u);
}

TEST_F(ModbusOverPty, SimulatorEndedUnderAnOpenDriver_NeitherHangsNorSpins) {
    ASSERT_TRUE(Poll());
    sim->stop();
    host->RunUntil([] { return false; }, 100);
    const double cpuBefore = ProcessCpuSeconds();
    host->RunUntil([] { return false; }, 1000);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.5);

    EXPECT_FALSE(Poll(300));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(host->master.WriteRegister(30, 1));
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_TRUE(host->driver.Connected());
    host->driver.Disconnect();
    EXPECT_FALSE(host->driver.Connected());
}

}  // namespace
