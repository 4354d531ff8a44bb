#include <gtest/gtest.h>

#include <QComboBox>
#include <QToolButton>

#include <string>
#include <vector>

#include "FaultRig.h"
#include "RegisterMap.h"

namespace {

using vr7c::sim::FaultKind;

const QString kWriteFailed = QStringLiteral("通信失败 ！");
const QString kCommitDone = QStringLiteral("标定完毕 ！");

// A fault on the module's answers to writes: either forced on the next `count` answers, or a
// register whose writes are never heard.
struct WriteFault {
    const char* name;
    FaultKind kind;
    int count;
    int unheardRegister;  // -1: none
};

void Apply(vr7c::sim::SimRunner& sim, const WriteFault& fault) {
    if (fault.unheardRegister >= 0) {
        sim.setUnheardWriteRegister(fault.unheardRegister);
    } else {
        sim.forceFault(fault.kind, fault.count);
    }
}

// --- One register written through the write dialog ---

struct DialogCase {
    WriteFault fault;
    bool failureShown;  // "通信失败 ！"
    bool carriedOut;    // the module holds the new value
    int attempts;       // write requests the module heard (at least, when the write succeeds)
};

const DialogCase kDialogCases[] = {
    {{"NoEcho_SixAttemptsThenFailureMessage", FaultKind::Drop, 0, 31}, true, false, 6},
    {{"EchoLostEveryTime_FailureMessageThoughTheModuleWrote", FaultKind::Drop, 6, -1},
     true,
     true,
     6},
    {{"EchoLostOnce_SecondAttemptSucceeds", FaultKind::Drop, 1, -1}, false, true, 2},
    {{"RequestNeverHeard_FailureMessage", FaultKind::Silence, 6, -1}, true, false, 6},
    {{"ExceptionEcho_FailureMessageAndNothingWritten", FaultKind::Exception, 6, -1},
     true,
     false,
     6},
    {{"ExceptionEchoOnce_SecondAttemptSucceeds", FaultKind::Exception, 1, -1}, false, true, 2},
    {{"PartialEchoOfFiveBytes_IsComparedAfterTheWholeWaitAndAccepted", FaultKind::PartialEcho, 6,
      -1},
     false,
     true,
     1},
    {{"NoiseBeforeTheEcho_FailureMessage", FaultKind::NoiseBefore, 6, -1}, true, true, 6},
    {{"NoiseAfterTheEcho_Accepted", FaultKind::NoiseAfter, 6, -1}, false, true, 1},
    {{"EchoWithWrongCrc_AcceptedSinceOnlyItsHeadIsCompared", FaultKind::BadCrc, 6, -1},
     false,
     true,
     1},
};

class DialogWriteFault : public ::testing::TestWithParam<std::tuple<bool, DialogCase>> {};

TEST_P(DialogWriteFault, Behaves) {
    const DialogCase& c = std::get<1>(GetParam());
    ConsoleOnSim rig;
    rig.SetPlcCan(std::get<0>(GetParam()));
    ASSERT_TRUE(rig.StartSim());
    ASSERT_TRUE(rig.ConnectAndPoll());
    auto& sim = rig.Sim();
    rig.Quiesce();
    const std::uint16_t before = sim.reg(31);
    const std::uint64_t heard = sim.counters().slave.writeRequests;
    Apply(sim, c.fault);
    const std::vector<QString> texts = rig.WriteThroughDialog(31, QStringLiteral("2345"));
    if (c.failureShown) {
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts.front(), kWriteFailed);
        EXPECT_EQ(rig.Prompts().messages.back().caption, QStringLiteral("VR7C-20NP"));
    } else {
        EXPECT_TRUE(texts.empty()) << texts.front().toStdString();
    }
    EXPECT_EQ(sim.reg(31), c.carriedOut ? 2345 : before);
    BlockFor(50);
    const auto attempts = static_cast<int>(sim.counters().slave.writeRequests - heard);
    if (c.failureShown) {
        EXPECT_EQ(attempts, 6);
    } else {
        // An echo later than the write's wait on a loaded machine costs another attempt.
        EXPECT_GE(attempts, c.attempts);
        EXPECT_LE(attempts, 6);
    }
    // Polling has been resumed whatever the outcome.
    EXPECT_TRUE(rig.Form().Timer1.isActive());
    EXPECT_TRUE(rig.StillResponsive());
}

std::string DialogCaseName(const ::testing::TestParamInfo<DialogWriteFault::ParamType>& p) {
    return std::string(std::get<0>(p.param) ? "PlcCan_" : "PcUart_") +
           std::get<1>(p.param).fault.name;
}

INSTANTIATE_TEST_SUITE_P(Echoes, DialogWriteFault,
                         ::testing::Combine(::testing::Values(false),
                                            ::testing::ValuesIn(kDialogCases)),
                         DialogCaseName);

// In "PLC-CAN" the same write goes to the bridged address; the outcomes that depend on the
// address are run there too.
const DialogCase kBridgedDialogCases[] = {kDialogCases[0], kDialogCases[2], kDialogCases[4],
                                          kDialogCases[5]};

INSTANTIATE_TEST_SUITE_P(BridgedEchoes, DialogWriteFault,
                         ::testing::Combine(::testing::Values(true),
                                            ::testing::ValuesIn(kBridgedDialogCases)),
                         DialogCaseName);

// --- The configuration block committed with "标定到模块" ---

struct CommitCase {
    WriteFault fault;
    // Registers the module wrote, in order, each named once however often it was written: an
    // echo that comes later than the write's wait (a loaded machine, an echo in pieces) makes
    // the console send the same register again, which the module carries out again.
    std::vector<int> carriedOut;
    bool doneShown;  // "标定完毕 ！"; else where the commit stopped
    // How often register 84 was carried out when every attempt at it failed; 0: not checked.
    int attemptsAt84 = 0;
};

std::vector<int> Range(int first, int last) {
    std::vector<int> regs;
    for (int reg = first; reg <= last; ++reg) {
        regs.push_back(reg);
    }
    return regs;
}

const CommitCase kCommitCases[] = {
    {{"FirstRegisterUnheard_NothingWrittenAndSaid", FaultKind::Drop, 0, 84}, {}, false},
    {{"Register90Unheard_84To89WrittenAndSaid", FaultKind::Drop, 0, 90}, Range(84, 89), false},
    {{"OnlyRegister96Unheard_84To95WrittenAndDoneShown", FaultKind::Drop, 0, 96},
     Range(84, 95),
     true},
    {{"EchoLostEveryTime_StopsAfter84", FaultKind::Drop, 6, -1}, {84}, false, 6},
    {{"EchoLostOnce_RetriedAndAllWritten", FaultKind::Drop, 1, -1}, Range(84, 96), true},
    {{"RequestsNeverHeard_NothingWritten", FaultKind::Silence, 6, -1}, {}, false},
    {{"ExceptionEchoes_NothingWritten", FaultKind::Exception, 6, -1}, {}, false},
    {{"ExceptionEchoOnce_RetriedAndAllWritten", FaultKind::Exception, 1, -1}, Range(84, 96), true},
    {{"PartialEchoes_AcceptedAndAllWritten", FaultKind::PartialEcho, 13, -1}, Range(84, 96), true},
    {{"NoiseBeforeEchoes_StopsAfter84", FaultKind::NoiseBefore, 6, -1}, {84}, false, 6},
    {{"EchoesWithWrongCrc_AcceptedAndAllWritten", FaultKind::BadCrc, 13, -1}, Range(84, 96), true},
    // The tail of an echo in pieces can arrive after its comparison and stand in front of the
    // next echo, which then fails once and is sent again. With the first three echoes in
    // pieces every register is still written; echoes that keep coming in pieces can fail one
    // register six times and end the commit there.
    {{"FirstEchoesInPieces_SomeRetriedAndAllWritten", FaultKind::Split, 3, -1},
     Range(84, 96),
     true},
};

class CommitFault : public ::testing::TestWithParam<CommitCase> {};

TEST_P(CommitFault, Behaves) {
    const CommitCase& c = GetParam();
    ConsoleOnSim rig;
    ASSERT_TRUE(rig.StartSim());
    ASSERT_TRUE(rig.ConnectAndPoll(5));
    auto& sim = rig.Sim();
    // Pieces a few milliseconds apart, well inside the write's wait.
    sim.setSplitGaps(std::chrono::milliseconds(1), std::chrono::milliseconds(6));
    rig.Quiesce();
    sim.clearWrites();
    Apply(sim, c.fault);
    ASSERT_TRUE(rig.Form().BitBtn5->isEnabled());
    rig.Form().BitBtn5->click();
    std::vector<int> written;
    int writesOf84 = 0;
    for (const auto& write : sim.writes()) {
        writesOf84 += write.reg == 84 ? 1 : 0;
        if (written.empty() || written.back() != write.reg) {
            written.push_back(write.reg);
        }
    }
    EXPECT_EQ(written, c.carriedOut);
    if (c.attemptsAt84 > 0) {
        EXPECT_EQ(writesOf84, c.attemptsAt84);
    }
    ASSERT_EQ(rig.Prompts().messages.size(), 1u);
    if (c.doneShown) {
        EXPECT_EQ(rig.Prompts().LastText(), kCommitDone);
    } else {
        EXPECT_TRUE(rig.Prompts().LastText().startsWith(QStringLiteral("标定未完成：")));
    }
    rig.Prompts().messages.clear();
    EXPECT_TRUE(rig.Form().Timer1.isActive());
    EXPECT_TRUE(rig.StillResponsive());
}

INSTANTIATE_TEST_SUITE_P(Commits, CommitFault, ::testing::ValuesIn(kCommitCases),
                         [](const ::testing::TestParamInfo<CommitCase>& p) {
                             return std::string(p.param.fault.name);
                         });

// --- At each baud rate, plain simulator: writes that start while a read reply is on the line ---

class LineSpeed : public ::testing::TestWithParam<int> {};

TEST_P(LineSpeed, CommitAndDialogWriteSentOnceAndPollingLosesNothing) {
    ConsoleOnSim rig;
    auto options = ConsoleOnSim::DefaultSimOptions();
    options.baud = vr7c::sim::kRs485Rates[GetParam()];  // the module runs at the console's rate
    ASSERT_TRUE(rig.StartSim(options));
    auto& sim = rig.Sim();
    rig.Form().EX_Baud->setCurrentIndex(GetParam());
    ASSERT_TRUE(rig.ConnectAndPoll(5));
    // Part of a read reply is on the line, and the rest is still to come.
    const auto replyInFlight = [&sim] {
        return WaitUntil(
            [&] {
                const auto left = sim.withModule([](auto& m) { return m.output().pending(); });
                return left > 0 && left < 200;
            },
            5000);
    };
    sim.clearWrites();
    ASSERT_TRUE(replyInFlight());
    rig.Form().BitBtn5->click();
    std::vector<int> written;
    for (const auto& write : sim.writes()) {
        written.push_back(write.reg);
    }
    EXPECT_EQ(written, Range(84, 96));
    EXPECT_EQ(rig.Prompts().Texts(), std::vector<QString>{kCommitDone});

    ASSERT_TRUE(rig.WaitForMorePolls(1, 5000));
    const auto writesHeard = sim.counters().slave.writeRequests;
    ASSERT_TRUE(replyInFlight());
    EXPECT_TRUE(rig.WriteThroughDialog(31, QStringLiteral("4321")).empty());
    EXPECT_EQ(sim.counters().slave.writeRequests - writesHeard, 1u);
    // Every read sent after the write is answered and taken (the one outstanding when the
    // write began is lost by design and sent again after its time-out).
    const auto readsBefore = sim.counters().slave.readRequests;
    const int goodBefore = rig.GoodPolls();
    ASSERT_TRUE(rig.WaitForMorePolls(3, 10000));
    EXPECT_LE(sim.counters().slave.readRequests - readsBefore,
              static_cast<std::uint64_t>(rig.GoodPolls() - goodBefore + 1));
    EXPECT_EQ(rig.Form().RegisterImage[31], 4321);
}

const char* const kBaudNames[] = {"9600", "19200", "38400", "57600"};  // EX_Baud's items

INSTANTIATE_TEST_SUITE_P(Bauds, LineSpeed, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return std::string("Baud") + kBaudNames[p.param];
                         });

}  // namespace
