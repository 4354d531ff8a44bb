// Single-register writes: the echo wait, the echo comparison and the attempts.

#include <optional>

#include "ModbusTestSupport.h"

namespace {

Bytes Echo(const Bytes& request) {
    return request;
}

// The pause pattern of n failed attempts: 25 pauses of 2 ms, then 100 ms.
std::vector<std::uint32_t> FailedAttemptPauses(int n) {
    std::vector<std::uint32_t> pauses;
    for (int a = 0; a < n; ++a) {
        pauses.insert(pauses.end(), 25, 2u);
        pauses.push_back(100u);
    }
    return pauses;
}

}  // namespace

class ModbusWrite : public ModbusTest {};

TEST_F(ModbusWrite, FullEchoIsAcceptedAfterOnePause) {
    AnswerWrites(Echo);
    EXPECT_TRUE(WriteRegister(30, 250));
    ASSERT_EQ(port->writes.size(), 1u);
    EXPECT_EQ(port->writes[0], WithCrc({0x01, 0x06, 0x00, 0x1E, 0x00, 0xFA}));
    EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(driver->RxCount, 8);
}

TEST_F(ModbusWrite, WaitStopsAtSixBytes) {
    port->onWrite = [this](const Bytes& request) {
        port->feed(Bytes(request.begin(), request.begin() + 3));
        port->feed(Bytes(request.begin() + 3, request.begin() + 6));
        port->feed(Bytes(request.begin() + 6, request.end()));
    };
    EXPECT_TRUE(WriteRegisterOnce(30, 250, 6));
    EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{2, 2}));
    EXPECT_EQ(driver->RxCount, 6);
    EXPECT_EQ(port->pendingReads.size(), 1u);  // the CRC is left for a later poll
}

TEST_F(ModbusWrite, BytesArrivingDuringThePausesAreTakenByDirectPolls) {
    Bytes request;
    port->onWrite = [&request](const Bytes& r) { request = r; };
    clock.onSleep = [this, &request](std::uint32_t) {
        if (clock.sleeps.size() == 10) {  // the echo arrives during the tenth pause
            port->feed(request);
        }
    };
    EXPECT_TRUE(WriteRegisterOnce(31, 1, 6));
    EXPECT_EQ(clock.sleeps.size(), 10u);
}

TEST_F(ModbusWrite, ValueLowByteDifferenceIsAccepted) {
    AnswerWrites([](const Bytes& request) {
        Bytes echo = request;
        echo[0] = 0x7F;   // station not compared
        echo[5] ^= 0xFF;  // value low byte not compared
        echo[6] = 0;      // CRC not compared
        echo[7] = 0;
        return echo;
    });
    EXPECT_TRUE(WriteRegister(30, 0x1234));
    EXPECT_EQ(port->writes.size(), 1u);
}

TEST_F(ModbusWrite, DifferenceInBytesOneToFourIsRefused) {
    for (std::size_t pos = 1; pos <= 4; ++pos) {
        SCOPED_TRACE(pos);
        AnswerWrites([pos](const Bytes& request) {
            Bytes echo = request;
            echo[pos] ^= 0x01;
            return echo;
        });
        EXPECT_FALSE(WriteRegisterOnce(30, 0x1234, 6));
    }
}

TEST_F(ModbusWrite, ExceptionReplyIsRefused) {
    // 8-byte answer whose function code has its top bit set.
    AnswerWrites([](const Bytes& request) {
        Bytes echo = request;
        echo[1] = 0x86;
        return echo;
    });
    EXPECT_FALSE(WriteRegisterOnce(30, 1, 6));
    // A real exception reply: 01 86 02 CRC (5 bytes).
    AnswerWrites([](const Bytes&) { return WithCrc({0x01, 0x86, 0x02}); });
    clock.sleeps.clear();
    EXPECT_FALSE(WriteRegisterOnce(30, 1, 6));
    EXPECT_EQ(clock.sleeps.size(), 25u);
}

TEST_F(ModbusWrite, FiveByteAnswerGoesThroughAllTwentyFivePauses) {
    AnswerWrites([](const Bytes& request) { return Bytes(request.begin(), request.begin() + 5); });
    const int readsBefore = port->readCalls;
    EXPECT_TRUE(WriteRegisterOnce(30, 0x0203, 6));
    EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(25, 2u));
    EXPECT_EQ(clock.totalSlept(), 50u);
    // The port opened just now: the quiet line at 9600 baud polls at once and after each of
    // six milliseconds, then one direct poll follows each pause.
    EXPECT_EQ(port->readCalls - readsBefore, 7 + 25);
    EXPECT_EQ(driver->RxCount, 5);
}

TEST_F(ModbusWrite, FewerThanFiveBytesAreComparedWithEarlierTraffic) {
    // Positions beyond RxCount still hold the bytes of an earlier exchange.
    const Bytes request = WithCrc({0x01, 0x06, 0x00, 0x1E, 0x00, 0x05});
    SetRx(request);
    AnswerWrites([](const Bytes&) { return Bytes{0x01, 0x06}; });
    EXPECT_TRUE(WriteRegisterOnce(30, 5, 6));
    EXPECT_EQ(driver->RxCount, 2);
    EXPECT_EQ(clock.sleeps.size(), 25u);
}

TEST_F(ModbusWrite, NoAnswerIsRefusedEvenWithMatchingOldBytes) {
    SetRx(WithCrc({0x01, 0x06, 0x00, 0x1E, 0x00, 0x05}));
    EXPECT_FALSE(WriteRegisterOnce(30, 5, 6));
    EXPECT_EQ(driver->RxCount, 0);
    EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>(25, 2u));
}

TEST_F(ModbusWrite, SixAttemptsWithAPauseAfterEachFailureIncludingTheSixth) {
    EXPECT_FALSE(WriteRegister(30, 1));
    EXPECT_EQ(port->writes.size(), 6u);
    for (const auto& frame : port->writes) {
        EXPECT_EQ(frame, WithCrc({0x01, 0x06, 0x00, 0x1E, 0x00, 0x01}));
    }
    EXPECT_EQ(clock.sleeps, FailedAttemptPauses(6));
    EXPECT_EQ(clock.totalSlept(), 900u);
    // 6 ms of quiet line before the first attempt; nothing arrives, so the line has been
    // quiet long enough before each later one.
    EXPECT_EQ(clock.now, 900u + 6);
}

TEST_F(ModbusWrite, WrongEchoesAreRetriedSixTimes) {
    AnswerWrites([](const Bytes& request) {
        Bytes echo = request;
        echo[4] ^= 0x80;
        return echo;
    });
    EXPECT_FALSE(WriteRegister(30, 1));
    EXPECT_EQ(port->writes.size(), 6u);
    std::vector<std::uint32_t> expected;
    for (int a = 0; a < 6; ++a) {
        expected.push_back(2u);
        expected.push_back(100u);
    }
    EXPECT_EQ(clock.sleeps, expected);
}

TEST_F(ModbusWrite, SuccessOnTheThirdAttemptStopsAtOnce) {
    int writes = 0;
    AnswerWrites([&writes](const Bytes& request) { return ++writes == 3 ? request : Bytes{}; });
    EXPECT_TRUE(WriteRegister(30, 1));
    EXPECT_EQ(port->writes.size(), 3u);
    auto expected = FailedAttemptPauses(2);
    expected.push_back(2u);
    EXPECT_EQ(clock.sleeps, expected);
}

TEST_F(ModbusWrite, StationAndModeAreTakenAtEachAttempt) {
    int writes = 0;
    AnswerWrites([this, &writes](const Bytes& request) {
        ++writes;
        if (writes == 1) {  // changed while the first attempt waits
            host.station = 5;
            host.plcCan = true;
        }
        return writes == 2 ? request : Bytes{};
    });
    EXPECT_TRUE(WriteRegister(11, 43690));
    ASSERT_EQ(port->writes.size(), 2u);
    EXPECT_EQ(port->writes[0], WithCrc({0x01, 0x06, 0x00, 0x0B, 0xAA, 0xAA}));
    EXPECT_EQ(port->writes[1], WithCrc({0x05, 0x06, 0x08, 0xA3, 0xAA, 0xAA}));
    EXPECT_EQ(host.stationQueries, 2);
    EXPECT_EQ(host.modeQueries, 2);
}

TEST_F(ModbusWrite, WriteLeavesTheReadStateAlone) {
    SendReadRequest(0, 100, 3);
    ReplyOk = true;
    ReplyWords[0] = 0x4321;
    AnswerWrites(Echo);
    EXPECT_TRUE(WriteRegister(30, 1));
    EXPECT_EQ(ExpectedBytes, 200);
    EXPECT_TRUE(ReplyOk);
    EXPECT_EQ(ReplyWords[0], 0x4321);
    EXPECT_EQ(RegisterImage[30], 0);  // a write never reaches RegisterImage
}

TEST_F(ModbusWrite, StationZeroIsWrittenAndEchoedLikeAnyOther) {
    host.station = 0;
    AnswerWrites(Echo);
    EXPECT_TRUE(WriteRegister(30, 1));
    EXPECT_EQ(LastFrame()[0], 0x00);
}

// Read latency (none: no read taken), echo delay (none: never), write frames sent (one: written)
// and pauses of 2 ms in each attempt. At 9600 baud the echo takes 10 ms on the line.
using EchoWaitCase = std::tuple<std::optional<std::uint32_t>, std::optional<std::uint32_t>,
                                std::size_t, std::size_t>;

class EchoWait : public ModbusTest, public ::testing::WithParamInterface<EchoWaitCase> {};

TEST_P(EchoWait, LastsAsLongAsTheModuleTakesToAnswer) {
    const auto& [readLatencyMs, echoAfterMs, frames, pausesPerAttempt] = GetParam();
    if (readLatencyMs) {
        SendReadRequest(0, 100, 3);
        clock.now += *readLatencyMs + 235;  // the reply's 205 bytes take 235 ms
        Arrive(ReadReply(PatternWords(100)));
        ASSERT_TRUE(TakeReadReply(0));
    }
    std::optional<std::uint32_t> echoDue;
    port->onWrite = [&](const Bytes&) {
        echoDue = echoAfterMs ? std::optional(clock.now + *echoAfterMs) : std::nullopt;
    };
    port->onRead = [&] {
        if (echoDue && clock.now >= *echoDue) {
            port->feed(LastFrame());
            echoDue.reset();
        }
    };
    EXPECT_EQ(WriteRegister(30, 250), frames == 1);
    EXPECT_EQ(port->writes.size(), frames + (readLatencyMs ? 1 : 0));
    EXPECT_EQ(std::count(clock.sleeps.begin(), clock.sleeps.end(), 2u), frames * pausesPerAttempt);
}

const EchoWaitCase kEchoWaits[] = {
    {100, 110, 1, 55},           // a slow module's echo is waited for
    {std::nullopt, 110, 6, 25},  // unmeasured: 50 ms
    {5, std::nullopt, 6, 25},    // a quick module: still 50 ms
    {5000, 1200, 6, 500},        // at most one second
};

INSTANTIATE_TEST_SUITE_P(Latency, EchoWait, ::testing::ValuesIn(kEchoWaits));
