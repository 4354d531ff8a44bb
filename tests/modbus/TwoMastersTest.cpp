// Two masters on two lines in one process: requests, replies, writes and their reply state
// interleave without one master ever seeing the other's bytes.

#include "ModbusTestSupport.h"

namespace {

struct Line {
    explicit Line(FakeClock& clock) : link(NewFakePort(port), &clock) { link.driver.Connect(); }
    FakeSerialPortIo* port = nullptr;
    TestLink link;
};

}  // namespace

TEST(TwoMasters, InterleavedRequestsAndRepliesStayOnTheirOwnLine) {
    FakeClock clock;
    Line a(clock);
    Line b(clock);
    a.link.station = 1;
    b.link.station = 7;
    b.link.plcCan = true;
    const auto wordsA = PatternWords(100, 0x1000);
    const auto wordsB = PatternWords(100, 0x5000);

    a.link.master.SendReadRequest(0, 100, 3);
    b.link.master.SendReadRequest(0, 10, 3);
    EXPECT_EQ(a.port->writes.back(), WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x64}));
    EXPECT_EQ(b.port->writes.back(), WithCrc({0x07, 0x03, 0x08, 0x98, 0x00, 0x0A}));
    EXPECT_EQ(a.link.master.ExpectedBytes, 200);
    EXPECT_EQ(b.link.master.ExpectedBytes, 20);

    // B's reply arrives in pieces while A's arrives whole; each completes only its own read.
    const Bytes replyB = ReadReply({wordsB.begin(), wordsB.begin() + 10}, 7);
    b.port->feed({replyB.begin(), replyB.begin() + 9});
    b.link.driver.PollReceive();
    a.port->feed(ReadReply(wordsA));
    a.link.driver.PollReceive();
    EXPECT_FALSE(b.link.master.TakeReadReply(0));
    EXPECT_TRUE(a.link.master.TakeReadReply(0));
    b.port->feed({replyB.begin() + 9, replyB.end()});
    b.link.driver.PollReceive();
    EXPECT_TRUE(b.link.master.TakeReadReply(0));

    for (std::size_t i = 0; i < 100; ++i) {
        ASSERT_EQ(a.link.RegisterImage[i], wordsA[i]) << i;
        ASSERT_EQ(b.link.RegisterImage[i], i < 10 ? wordsB[i] : 0) << i;
    }

    // A write on B, echoed by B's line only, leaves A's reply state and image alone.
    b.port->onWrite = [&b](const Bytes& request) { b.port->feed(request); };
    EXPECT_TRUE(b.link.master.WriteRegister(30, 0x1234));
    EXPECT_FALSE(a.link.master.WriteRegister(30, 0x1234));
    EXPECT_EQ(a.link.master.ExpectedBytes, 200);
    EXPECT_TRUE(a.link.master.ReplyOk);
    EXPECT_EQ(a.link.RegisterImage[30], wordsA[30]);
    EXPECT_EQ(a.port->writes.size(), 7u);  // the read and six write attempts
    EXPECT_EQ(b.port->writes.size(), 2u);
}
