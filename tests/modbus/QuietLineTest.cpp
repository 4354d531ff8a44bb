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
};

const LineCase kLineCases[] = {
    {br9600, 0, 4.01, 7},         {br57600, 0, 1.75, 4},  {br9600, 120, 119 + 4.01, 126},
    {br57600, 30, 29 + 1.75, 33}, {br9600, -1, 293, 305}, {br57600, -1, 49, 58},
};

class QuietLine : public ModbusTest,
                  public ::testing::WithParamInterface<std::tuple<bool, LineCase>> {};

TEST_P(QuietLine, RequestWaitsForTheGapAndStrayBytesAreNeverItsAnswer) {
    const auto& [write, line] = GetParam();
    driver->SetComPortSpeed(line.speed);
    std::int64_t sentAt = -1;
    port->onRead = [&] {
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

}  // namespace
