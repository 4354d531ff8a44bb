#include <gtest/gtest.h>

#include "PollingCycle.h"

using Action = PollingCycle::TickAction;

TEST(PollingCycle, SendsOnTheFirstTickAfterConnecting) {
    PollingCycle poll;
    poll.Connected();
    EXPECT_EQ(poll.BeginTick(), Action::SendRequest);
    EXPECT_FALSE(poll.RequestDue);
    EXPECT_EQ(poll.WaitTicks, 0);
}

TEST(PollingCycle, LooksForTheReplyOnTwentyTicksThenGivesUpAndSendsAgain) {
    PollingCycle poll;
    poll.Connected();
    poll.BeginTick();
    for (int tick = 1; tick <= 20; ++tick) {
        EXPECT_EQ(poll.BeginTick(), Action::LookForReply) << "tick " << tick;
        EXPECT_EQ(poll.WaitTicks, tick);
    }
    EXPECT_EQ(poll.BeginTick(), Action::GiveUp);
    EXPECT_TRUE(poll.RequestDue);
    EXPECT_EQ(poll.BeginTick(), Action::SendRequest);
}

TEST(PollingCycle, LoadsThePanelOnGoodRepliesOneToFourOnly) {
    PollingCycle poll;
    for (int reply = 1; reply <= 4; ++reply) {
        EXPECT_TRUE(poll.CountGoodReply()) << "reply " << reply;
    }
    EXPECT_FALSE(poll.CountGoodReply());
    EXPECT_EQ(poll.GoodPolls, 5);
}

TEST(PollingCycle, AGoodReplyRaisesTheLinkAndMakesTheNextRequestDue) {
    PollingCycle poll;
    poll.FinishGoodReply();
    EXPECT_TRUE(poll.LinkUp);
    EXPECT_TRUE(poll.RequestDue);
}

TEST(PollingCycle, DisconnectDropsLinkAndCountButKeepsTheRequestState) {
    PollingCycle poll;
    poll.Connected();
    poll.BeginTick();
    poll.BeginTick();
    poll.CountGoodReply();
    poll.LinkUp = true;
    poll.Disconnected();
    EXPECT_FALSE(poll.LinkUp);
    EXPECT_EQ(poll.GoodPolls, 0);
    EXPECT_EQ(poll.WaitTicks, 1);
    EXPECT_FALSE(poll.RequestDue);
}

TEST(PollingCycle, MapsTheFourBaudListEntriesAndNothingElse) {
    EXPECT_EQ(BaudForIndex(0), br9600);
    EXPECT_EQ(BaudForIndex(1), br19200);
    EXPECT_EQ(BaudForIndex(2), br38400);
    EXPECT_EQ(BaudForIndex(3), br57600);
    EXPECT_FALSE(BaudForIndex(-1));
    EXPECT_FALSE(BaudForIndex(4));
}
