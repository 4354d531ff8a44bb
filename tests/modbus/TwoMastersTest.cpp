// Two masters on two lines in one process never see each other's bytes or reply state.

#include "ModbusTestSupport.h"

TEST(TwoMasters, InterleavedRequestsRepliesAndWritesStayOnTheirOwnLine) {
    FakeClock clock;
    FakeSerialPortIo* portA = nullptr;
    FakeSerialPortIo* portB = nullptr;
    TestLink a(NewFakePort(portA), &clock);
    TestLink b(NewFakePort(portB), &clock);
    ASSERT_TRUE(a.driver.Connect() && b.driver.Connect());
    b.station = 7;
    const auto wordsA = PatternWords(100, 0x1000);
    const auto wordsB = PatternWords(10, 0x5000);
    a.master.SendReadRequest(0, 100, 3);
    b.master.SendReadRequest(0, 10, 3);
    const Bytes replyB = ReadReply(wordsB, 7);
    portB->feed({replyB.begin(), replyB.begin() + 9});
    portA->feed(ReadReply(wordsA));
    b.driver.PollReceive();
    a.driver.PollReceive();
    EXPECT_FALSE(b.master.TakeReadReply(0));  // B's reply is not whole yet
    EXPECT_TRUE(a.master.TakeReadReply(0));
    portB->feed({replyB.begin() + 9, replyB.end()});
    b.driver.PollReceive();
    EXPECT_TRUE(b.master.TakeReadReply(0));
    for (std::size_t i = 0; i < 100; ++i) {
        ASSERT_EQ(a.RegisterImage[i], wordsA[i]) << i;
        ASSERT_EQ(b.RegisterImage[i], i < 10 ? wordsB[i] : 0) << i;
    }
    // Only B's line echoes: B's write goes through, A's fails, A's reply state stays.
    portB->onWrite = [portB](const Bytes& request) { portB->feed(request); };
    EXPECT_TRUE(b.master.WriteRegister(30, 0x1234));
    EXPECT_FALSE(a.master.WriteRegister(30, 0x1234));
    EXPECT_EQ(a.master.ExpectedBytes, 200);
    EXPECT_EQ(b.master.ExpectedBytes, 20);
}
