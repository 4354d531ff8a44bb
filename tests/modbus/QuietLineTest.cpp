// The quiet line before each request: stray bytes hold a request back until the line has been
// silent for the inter-frame gap (4.01 ms at 9600 baud, 1.75 ms at 57600), are never taken as its
// answer, and a line that never falls silent holds it back only for about one longest frame
// (293 ms at 9600 baud, 49 ms at 57600).
#include "ModbusTestSupport.h"

namespace {

struct LineCase {
    TComPortBaudRate speed;
    int strayUntilMs;  // a stray byte at each poll until then (-1: until the request goes out)
    double sentFromMs;
    int sentByMs;
    int heldAtMs = -1;  // the poll at this time finds nothing and the thread is then held 5 ms
};

const LineCase kLineCases[] = {
    {br9600, 0, 4.01, 7},
    {br57600, 0, 1.75, 4},
    {br9600, 120, 119 + 4.01, 126},
    {br57600, 30, 29 + 1.75, 33},
    {br9600, -1, 293, 305},
    {br57600, -1, 49, 58},
    {br57600, 30, 29 + 1.75, 38, 10},
};

class QuietLine : public ModbusTest,
                  public ::testing::WithParamInterface<std::tuple<bool, LineCase>> {};

TEST_P(QuietLine, RequestWaitsForTheGapAndStrayBytesAreNeverItsAnswer) {
    const auto& [write, line] = GetParam();
    driver->SetComPortSpeed(line.speed);
    std::int64_t sentAt = -1;
    port->onRead = [&] {
        if (static_cast<int>(clock.now) == line.heldAtMs) {
            clock.now += 5;
            return;
        }
        if (line.strayUntilMs < 0 ? sentAt < 0 : clock.now < std::uint32_t(line.strayUntilMs)) {
            port->feed({0x06});
        }
    };
    const Bytes answer = write ? WithCrc({1, 6, 0, 30, 0, 5}) : ReadReply(PatternWords(2));
    port->onWrite = [&](const Bytes&) {
        sentAt = clock.now;
        port->pendingReads = {answer};
    };
    if (write) {
        EXPECT_TRUE(WriteRegisterOnce(30, 5, 6));
    } else {
        SendReadRequest(0, 2, 3);
        driver->PollReceive();
        EXPECT_TRUE(TakeReadReply(0));
    }
    EXPECT_EQ(port->writes.size(), 1u);
    EXPECT_GE(static_cast<double>(sentAt), line.sentFromMs);
    EXPECT_LE(sentAt, line.sentByMs);
}

INSTANTIATE_TEST_SUITE_P(Lines, QuietLine,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kLineCases)));

struct ReplyCase {
    int restAfterMs;  // the rest of the reply comes this long after its start (-1: never)
    int sentFromMs;
    int sentByMs;
};

class ReplyInFlight : public ModbusTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyInFlight, WriteWaitsForTheRestOfTheReplyAndItsEchoIsTakenAtOnce) {
    const ReplyCase& c = GetParam();
    driver->SetComPortSpeed(br57600);
    SendReadRequest(0, 100, 3);
    const Bytes reply = ReadReply(PatternWords(100));
    Arrive(Bytes(reply.begin(), reply.begin() + 60));
    const std::uint32_t start = clock.now;
    bool restFed = false;
    port->onRead = [&] {
        if (c.restAfterMs >= 0 && !restFed && clock.now >= start + c.restAfterMs) {
            port->feed(Bytes(reply.begin() + 60, reply.end()));
            restFed = true;
        }
    };
    std::uint32_t sentAt = 0;
    port->onWrite = [&](const Bytes& request) {
        sentAt = clock.now;
        port->feed(request);
    };
    EXPECT_TRUE(WriteRegisterOnce(30, 5, 6));
    EXPECT_EQ(port->writes.size(), 2u);
    EXPECT_GE(sentAt - start, static_cast<std::uint32_t>(c.sentFromMs));
    EXPECT_LE(sentAt - start, static_cast<std::uint32_t>(c.sentByMs));
}

INSTANTIATE_TEST_SUITE_P(Pauses, ReplyInFlight,
                         ::testing::Values(ReplyCase{20, 22, 25}, ReplyCase{-1, 49, 52}));

}  // namespace
