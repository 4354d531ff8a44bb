#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <chrono>
#include <string>
#include <vector>

#include "BannerGroupBox.h"
#include "FaultRig.h"
#include "MODBUS_RTU.h"
#include "RegisterMap.h"

namespace {

using vr7c::sim::FaultKind;
using vr7c::sim::SimCounters;
using vr7c::sim::SimModule;

std::string ModeName(bool plcCan) {
    return plcCan ? "PlcCan" : "PcUart";
}

// One fault on one read reply, and what the polling cycle does about it.
struct ReplyFault {
    const char* name;
    FaultKind kind;
    // The request is repeated only after the time-out, so the next good reply comes late.
    bool retriedAfterTimeOut;
    // Whether the faulty reply itself may be taken (its register words are intact).
    bool faultyReplyMayBeTaken;
};

const ReplyFault kReplyFaults[] = {
    {"DroppedReply_IsRepeatedAfterTheTimeOut", FaultKind::Drop, true, false},
    {"ReplyWithWrongCrc_IsIgnoredAndRepeatedOnlyAfterTheTimeOut", FaultKind::BadCrc, true, false},
    {"NoiseBeforeTheReply_FailsItsCrcAndIsRepeatedAfterTheTimeOut", FaultKind::NoiseBefore, true,
     false},
    {"NoiseAfterTheReply_NeverYieldsAWrongImage", FaultKind::NoiseAfter, false, true},
    {"ExceptionReply_IsNeverCompleteAndIsRepeatedAfterTheTimeOut", FaultKind::Exception, true,
     false},
    {"RequestNotHeard_IsRepeatedAfterTheTimeOut", FaultKind::Silence, true, false},
    {"SlowReplyWithinTheTimeOut_IsTaken", FaultKind::Slow, false, true},
};

class PollingFault : public ::testing::TestWithParam<std::tuple<bool, ReplyFault>> {
protected:
    void SetUp() override {
        rig_.SetPlcCan(std::get<0>(GetParam()));
        ASSERT_TRUE(rig_.StartSim());
        ASSERT_TRUE(rig_.ConnectAndPoll());
    }
    ConsoleOnSim rig_;
};

TEST_P(PollingFault, Behaves) {
    const ReplyFault& fault = std::get<1>(GetParam());
    auto& sim = rig_.Sim();
    rig_.Quiesce();
    const QString shownPolls = rig_.Form().Edit4->text();
    const int polls = rig_.GoodPolls();
    sim.forceFault(fault.kind, 1);
    ASSERT_TRUE(WaitUntil([&] { return sim.counters().faultsInjected(fault.kind) >= 1; }, 5000));
    QElapsedTimer since;
    since.start();
    // Nothing is shown while the cycle waits.
    ASSERT_TRUE(WaitUntil([&] { return rig_.GoodPolls() > polls; }, 10000));
    if (fault.retriedAfterTimeOut) {
        // 21 ticks of 30 ms pass before the request goes out again.
        EXPECT_GE(since.elapsed(), 450);
    }
    EXPECT_TRUE(rig_.ImageIsASentReply(!fault.faultyReplyMayBeTaken));
    EXPECT_TRUE(rig_.Form().Polling().LinkUp);
    EXPECT_NE(rig_.Form().Edit4->text(), shownPolls);
    EXPECT_TRUE(rig_.Prompts().messages.empty()) << rig_.Prompts().LastText().toStdString();
    EXPECT_TRUE(rig_.StillResponsive());
}

std::string PollingFaultName(const ::testing::TestParamInfo<PollingFault::ParamType>& p) {
    return ModeName(std::get<0>(p.param)) + "_" + std::get<1>(p.param).name;
}

INSTANTIATE_TEST_SUITE_P(Replies, PollingFault,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kReplyFaults)),
                         PollingFaultName);

// Faults that need more than one forced reply, in both connection modes.
class PollingInMode : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        rig_.SetPlcCan(GetParam());
        ASSERT_TRUE(rig_.StartSim());
        ASSERT_TRUE(rig_.ConnectAndPoll());
    }
    ConsoleOnSim rig_;
};

TEST_P(PollingInMode, RepliesInPiecesWithGapsInsideAndAcrossTicks_AreTakenWithoutARetry) {
    auto& sim = rig_.Sim();
    rig_.Quiesce();
    // Gaps from a fraction of a tick to two ticks; the whole reply still lands within 20.
    sim.setSplitGaps(std::chrono::milliseconds(3), std::chrono::milliseconds(70));
    const std::uint64_t requests = sim.counters().slave.readRequests;
    const int polls = rig_.GoodPolls();
    sim.forceFault(FaultKind::Split, 4);
    ASSERT_TRUE(
        WaitUntil([&] { return sim.counters().faultsInjected(FaultKind::Split) >= 4; }, 15000));
    ASSERT_TRUE(rig_.WaitForMorePolls(1, 5000));
    const int taken = rig_.GoodPolls() - polls;
    const auto asked = static_cast<int>(sim.counters().slave.readRequests - requests);
    // Every request was answered by a good reply taken: none was repeated.
    EXPECT_GE(taken, 4);
    EXPECT_LE(asked, taken + 1);
    EXPECT_TRUE(rig_.ImageIsASentReply());
    EXPECT_TRUE(rig_.Prompts().messages.empty());
    EXPECT_TRUE(rig_.StillResponsive());
}

TEST_P(PollingInMode, ReplyWhoseLastPieceComesAfterTheTimeOut_IsNotTakenAndPollingRecovers) {
    auto& sim = rig_.Sim();
    rig_.Quiesce();
    sim.setSplitGaps(std::chrono::milliseconds(750), std::chrono::milliseconds(750));
    const int polls = rig_.GoodPolls();
    sim.forceFault(FaultKind::Split, 1);
    ASSERT_TRUE(
        WaitUntil([&] { return sim.counters().faultsInjected(FaultKind::Split) >= 1; }, 5000));
    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(WaitUntil([&] { return rig_.GoodPolls() > polls; }, 15000));
    EXPECT_GE(since.elapsed(), 450);
    EXPECT_TRUE(rig_.ImageIsASentReply());
    EXPECT_TRUE(rig_.Prompts().messages.empty());
    EXPECT_TRUE(rig_.StillResponsive());
}

TEST_P(PollingInMode, GoodReplyForAnotherStation_IsTakenLikeAnyCompleteReplyWithARightCrc) {
    auto& sim = rig_.Sim();
    rig_.Quiesce();
    // The module's own reply is lost; a reply from station 9 with the right CRC comes instead.
    std::vector<std::uint8_t> reply = {9, 3, 200};
    for (int reg = 0; reg < 100; ++reg) {
        const std::uint16_t word = reg == 97 ? 0xBEEF : static_cast<std::uint16_t>(reg * 3);
        reply.push_back(static_cast<std::uint8_t>(word >> 8));
        reply.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    const std::uint16_t crc = Crc16(reply.data(), static_cast<std::uint16_t>(reply.size()));
    reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    reply.push_back(static_cast<std::uint8_t>(crc >> 8));
    sim.forceFault(FaultKind::Drop, 1);
    ASSERT_TRUE(
        WaitUntil([&] { return sim.counters().faultsInjected(FaultKind::Drop) >= 1; }, 5000));
    sim.withModule([&](SimModule& module) { module.output().send(reply, 0); });
    ASSERT_TRUE(WaitUntil([&] { return rig_.Form().RegisterImage[97] == 0xBEEF; }, 5000));
    EXPECT_EQ(rig_.Form().RegisterImage[50], 150);
    EXPECT_TRUE(rig_.Prompts().messages.empty());
    EXPECT_TRUE(rig_.StillResponsive());
}

TEST_P(PollingInMode, SilenceForSeveralSeconds_RepeatsTheRequestEveryTimeOutAndShowsNothing) {
    auto& sim = rig_.Sim();
    rig_.Quiesce();
    const QString caption = rig_.Form().GroupBox1->title();
    const QString shownPolls = rig_.Form().Edit4->text();
    const std::uint64_t heard = sim.counters().requestsSeen();
    sim.setFault(FaultKind::Silence, 100);
    PumpFor(3000);
    const auto repeated = static_cast<int>(sim.counters().requestsSeen() - heard);
    // One request every 22 ticks of 30 ms: four or five in three seconds, fewer on a loaded
    // machine.
    EXPECT_GE(repeated, 2);
    EXPECT_LE(repeated, 5);
    EXPECT_TRUE(rig_.Form().Polling().LinkUp);
    EXPECT_TRUE(rig_.Form().BitBtn5->isEnabled());
    EXPECT_EQ(rig_.Form().GroupBox1->title(), caption);
    EXPECT_EQ(rig_.Form().Edit4->text(), shownPolls);
    EXPECT_TRUE(rig_.Prompts().messages.empty());
    EXPECT_TRUE(rig_.StillResponsive());
}

TEST_P(PollingInMode, SilenceForAMinuteOfDrivenTicks_RepeatsTheRequestOnEvery22ndTick) {
    auto& sim = rig_.Sim();
    rig_.Quiesce();
    sim.setFault(FaultKind::Silence, 100);
    const std::uint64_t heard = sim.counters().requestsSeen();
    const QString shownPolls = rig_.Form().Edit4->text();
    // A minute of 30 ms ticks, driven one after the other on the real port; the console's
    // own timer does not run meanwhile. Each request is let through to the simulator before
    // the next tick, so that requests do not run together on the line.
    constexpr int kTicks = 60'000 / 30;
    std::uint64_t sent = 0;
    for (int tick = 0; tick < kTicks; ++tick) {
        const bool sends = rig_.Form().Polling().RequestDue;
        rig_.Form().Timer1Timer();
        if (sends) {
            ++sent;
            ASSERT_TRUE(
                sim.waitFor([&](const SimCounters& c) { return c.requestsSeen() >= heard + sent; },
                            std::chrono::seconds(5)));
        }
    }
    // One request on every 22nd tick; the first may be due at once.
    EXPECT_GE(sent, static_cast<std::uint64_t>(kTicks / 22));
    EXPECT_LE(sent, static_cast<std::uint64_t>(kTicks / 22 + 1));
    EXPECT_TRUE(rig_.Form().Polling().LinkUp);
    EXPECT_EQ(rig_.Form().Edit4->text(), shownPolls);
    EXPECT_TRUE(rig_.Prompts().messages.empty());
    EXPECT_TRUE(rig_.StillResponsive());
}

INSTANTIATE_TEST_SUITE_P(Modes, PollingInMode, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return ModeName(p.param); });

TEST(PollingPlcCanHandshake, HandshakeWritesThatGoUnheard_AreNotReportedAndPollingGoesOn) {
    ConsoleOnSim rig;
    rig.SetPlcCan(true);
    auto options = ConsoleOnSim::DefaultSimOptions();
    options.presets = {{11, 150}, {10, 2617}, {98, 0}};
    ASSERT_TRUE(rig.StartSim(options));
    // The bridge is not ready, so every good reply is followed by the writes of 11 and 10;
    // the write of 11 is never heard.
    rig.Sim().setUnheardWriteRegister(11);
    ASSERT_TRUE(rig.ConnectAndPoll(3));
    EXPECT_TRUE(rig.Prompts().messages.empty());
    int handshakes = 0;
    for (const auto& write : rig.Sim().writes()) {
        EXPECT_NE(write.reg, 11);
        if (write.reg == 10 && write.value == 21845) {
            ++handshakes;
        }
    }
    EXPECT_GE(handshakes, 2);
    EXPECT_NE(rig.Form().Label20->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    rig.Sim().setRegister(98, 6666);
    EXPECT_TRUE(rig.StillResponsive());
}

}  // namespace
