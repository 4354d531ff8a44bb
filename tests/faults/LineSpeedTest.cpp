// At each baud rate the console offers, against the plain simulator: an operator write that
// starts while a read reply is still on the line is carried out once, reported truly, and
// costs the polls after it nothing.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QToolButton>

#include <vector>

#include "FaultRig.h"
#include "RegisterMap.h"

namespace {

struct LineSpeed {
    const char* name;
    int baudIndex;  // EX_Baud
};

class LineSpeedMatrix : public ::testing::TestWithParam<LineSpeed> {
protected:
    // Runs the event loop until the module has just heard a new read request, so that its
    // reply is on the line when the operator acts.
    void AwaitReplyInFlight() {
        const auto heard = rig.Sim().counters().slave.readRequests;
        ASSERT_TRUE(
            WaitUntil([&] { return rig.Sim().counters().slave.readRequests > heard; }, 5000));
    }

    ConsoleOnSim rig;
};

TEST_P(LineSpeedMatrix, WritesDuringAReplyAreCarriedOutOnceAndPollingLosesNothing) {
    ASSERT_TRUE(rig.StartSim());
    auto& sim = rig.Sim();
    rig.Form().EX_Baud->setCurrentIndex(GetParam().baudIndex);
    ASSERT_TRUE(rig.ConnectAndPoll(5));

    // The configuration commit: every register once, in order, and the success message.
    sim.clearWrites();
    AwaitReplyInFlight();
    rig.Form().BitBtn5->click();
    std::vector<int> written;
    for (const auto& write : sim.writes()) {
        written.push_back(write.reg);
    }
    std::vector<int> expected;
    for (int reg = 84; reg <= 96; ++reg) {
        expected.push_back(reg);
    }
    EXPECT_EQ(written, expected);
    EXPECT_EQ(rig.Prompts().Texts(), std::vector<QString>{QStringLiteral("标定完毕 ！")});

    // A dialog write: sent once, nothing reported.
    ASSERT_TRUE(rig.WaitForMorePolls(1, 5000));
    sim.clearWrites();
    const auto writesHeard = sim.counters().slave.writeRequests;
    AwaitReplyInFlight();
    EXPECT_TRUE(rig.WriteThroughDialog(31, QStringLiteral("4321")).empty());
    EXPECT_EQ(sim.counters().slave.writeRequests - writesHeard, 1u);
    EXPECT_EQ(sim.reg(31), 4321);

    // The polls after it: every read request sent from now on is answered and taken (the one
    // outstanding when the write began is lost by design and resent after its time-out).
    const auto readsBefore = sim.counters().slave.readRequests;
    const int goodBefore = rig.GoodPolls();
    ASSERT_TRUE(rig.WaitForMorePolls(3, 10000));
    const auto reads = sim.counters().slave.readRequests - readsBefore;
    EXPECT_LE(reads, static_cast<std::uint64_t>(rig.GoodPolls() - goodBefore + 1));
    EXPECT_EQ(RegisterImage[31], 4321);
    EXPECT_TRUE(rig.ImageIsASentReply());
}

INSTANTIATE_TEST_SUITE_P(Bauds, LineSpeedMatrix,
                         ::testing::Values(LineSpeed{"9600", 0}, LineSpeed{"19200", 1},
                                           LineSpeed{"38400", 2}, LineSpeed{"57600", 3}),
                         [](const ::testing::TestParamInfo<LineSpeed>& p) {
                             return std::string("Baud") + p.param.name;
                         });

}  // namespace
