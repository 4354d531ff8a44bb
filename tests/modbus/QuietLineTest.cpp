// The quiet line before each request: bytes still arriving hold the request back until the line
// has been silent for the inter-frame gap, they are never judged as its answer, and a line that
// never falls silent holds it back only for a bounded time.

#include "ModbusTestSupport.h"

namespace {

struct LineCase {
    const char* name;
    TComPortBaudRate speed;
    int byteEveryMs;  // one stray byte arrives every this many ms (0: none) ...
    int bytesForMs;   // ... for this long from the start (-1: until the request goes out)
    // When the request may go out, in ms from the start: the last stray byte plus the gap of
    // 3.5 characters (never below 1.75 ms), or the bound of a line that never falls silent.
    double sentNotBeforeMs;
    std::uint32_t sentByMs;
};

// Gap: 4.01 ms at 9600 baud, 2.005 ms at 19200, 1.75 ms above. Bound: one frame of the longest
// RTU size (256 bytes) plus the gap: 293 ms at 9600, 49 ms at 57600.
const LineCase kLineCases[] = {
    {"QuietAt9600", br9600, 0, 0, 4.01, 7},
    {"QuietAt19200", br19200, 0, 0, 2.005, 4},
    {"QuietAt38400", br38400, 0, 0, 1.75, 4},
    {"QuietAt57600", br57600, 0, 0, 1.75, 4},
    {"ReplyStillArrivingAt9600", br9600, 1, 120, 119 + 4.01, 126},
    {"ReplyStillArrivingAt57600", br57600, 1, 30, 29 + 1.75, 33},
    {"BytesFurtherApartThanTheGapAt57600", br57600, 4, 200, 1.75, 4},
    {"BabblingLineAt9600", br9600, 1, -1, 293, 305},
    {"BabblingLineAt57600", br57600, 1, -1, 49, 58},
};

class QuietLine : public ModbusTest,
                  public ::testing::WithParamInterface<std::tuple<bool, LineCase>> {
protected:
    bool IsWrite() const { return std::get<0>(GetParam()); }
    const LineCase& Line() const { return std::get<1>(GetParam()); }
};

TEST_P(QuietLine, RequestWaitsForTheGapAndStrayBytesAreNeverItsAnswer) {
    const LineCase& line = Line();
    driver->SetComPortSpeed(line.speed);
    const Bytes stray = {0x01, 0x06, 0x00, 0x1E, 0x00, 0x05, 0x01, 0x03};
    std::size_t next = 0;
    std::int64_t sentAt = -1;
    port->onRead = [&] {
        const int t = static_cast<int>(clock.now);
        const bool talking = line.bytesForMs < 0 ? sentAt < 0 : t < line.bytesForMs;
        if (line.byteEveryMs > 0 && talking && t % line.byteEveryMs == 0) {
            port->feed({stray[next++ % stray.size()]});
        }
    };
    const Bytes answer =
        IsWrite() ? WithCrc({0x01, 0x06, 0x00, 0x1E, 0x00, 0x05}) : ReadReply(PatternWords(2));
    port->onWrite = [&](const Bytes&) {
        sentAt = clock.now;
        port->pendingReads.clear();
        port->feed(answer);
    };

    if (IsWrite()) {
        EXPECT_TRUE(WriteRegisterOnce(30, 5, 6));
    } else {
        SendReadRequest(0, 2, 3);
        driver->PollReceive();
        EXPECT_TRUE(TakeReadReply(0));
        EXPECT_EQ(RegisterImage[1], 0x1007);
    }
    ASSERT_EQ(port->writes.size(), 1u);
    EXPECT_GE(static_cast<double>(sentAt), line.sentNotBeforeMs);
    EXPECT_LE(sentAt, line.sentByMs);
    EXPECT_EQ(Pauses().size(), IsWrite() ? 1u : 0u);  // the echo's wait as before
}

INSTANTIATE_TEST_SUITE_P(Lines, QuietLine,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kLineCases)),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param) ? "Write_" : "Read_") +
                                    std::get<1>(p.param).name;
                         });

TEST_F(ModbusTest, ClosedDriverSendsWithoutWaiting) {
    driver->Disconnect();
    SendReadRequest(0, 100, 3);
    EXPECT_TRUE(clock.sleeps.empty());
}

}  // namespace
