// Pacing: replies leave at the speed of a real line, 11 bit times a byte, after the latency.

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "LineOutput.h"
#include "SimTestSupport.h"

namespace vr7c::sim::test {
namespace {

TEST(LineTiming, CharacterTimeIsElevenBitTimesRoundedUp) {
    const LineTiming at57600{57600};
    EXPECT_EQ(at57600.charactersTime(1), 191);      // 190.97 µs
    EXPECT_EQ(at57600.charactersTime(205), 39150);  // 39149.3 µs
    EXPECT_EQ(at57600.charactersTime(213), 40678);  // 40677.1 µs: request and reply
    const LineTiming at9600{9600};
    EXPECT_EQ(at9600.charactersTime(1), 1146);      // 1145.8 µs
    EXPECT_EQ(at9600.charactersTime(205), 234896);  // 234895.8 µs
    const LineTiming at115200{115200};
    EXPECT_EQ(at115200.charactersTime(1), 96);  // 95.5 µs
}

TEST(LineTiming, FrameSilenceIsThreeAndAHalfCharactersButAtLeast1750Us) {
    EXPECT_EQ(LineTiming{9600}.frameSilence(), 4011);   // 4010.4 µs
    EXPECT_EQ(LineTiming{19200}.frameSilence(), 2006);  // 2005.2 µs
    EXPECT_EQ(LineTiming{38400}.frameSilence(), 1750);
    EXPECT_EQ(LineTiming{57600}.frameSilence(), 1750);
    EXPECT_EQ(LineTiming{115200}.frameSilence(), 1750);
}

TEST(LineOutput, BytesAreDueOneCharacterTimeApart) {
    LineOutput out(LineTiming{57600});
    const Bytes bytes = {1, 2, 3, 4};
    EXPECT_EQ(out.send(bytes, 1000), 1000 + 764);  // 4 × 190.97 rounded up
    EXPECT_EQ(out.nextDue(), 1000 + 191);
    Bytes taken;
    EXPECT_EQ(out.takeDue(1000 + 190, taken), 0u);
    EXPECT_EQ(out.takeDue(1000 + 382, taken), 2u);  // 381.9 → 382
    EXPECT_EQ(taken, (Bytes{1, 2}));
    EXPECT_EQ(out.takeDue(1000 + 764, taken), 2u);
    EXPECT_TRUE(out.empty());
}

TEST(LineOutput, ALaterTransmissionWaitsForTheLine) {
    LineOutput out(LineTiming{9600});
    const Bytes a = {1, 2};
    const Bytes b = {3};
    const Micros endA = out.send(a, 0);
    EXPECT_EQ(endA, 2292);
    EXPECT_EQ(out.send(b, 100), endA + 1146);       // asked for 100, the line was busy
    EXPECT_EQ(out.send(b, 10'000), 10'000 + 1146);  // the line was free again
}

TEST(LineOutput, ClearForgetsEverything) {
    LineOutput out;
    const Bytes a = {1, 2, 3};
    out.send(a, 0);
    out.clear();
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(out.nextDue());
    EXPECT_EQ(out.send(a, 5), 5 + LineTiming{}.charactersTime(3));
}

TEST(ReplyPacing, ReadReplyStartsAfterSilenceAndLatencyAndTakesItsWireTime) {
    ModuleDriver driver;  // 57600 baud, 2 ms latency
    const Micros sent = driver.now;
    const Received reply = driver.exchange(readRequest(1, 0, 100));
    ASSERT_EQ(reply.bytes.size(), 205u);
    const Micros start = sent + 1750 + 2000;
    EXPECT_EQ(reply.times.front(), start + 191);
    EXPECT_EQ(reply.times.back(), start + 39150);
    for (std::size_t i = 0; i < reply.times.size(); ++i) {
        EXPECT_EQ(reply.times[i], start + LineTiming{57600}.charactersTime(i + 1)) << i;
    }
}

TEST(ReplyPacing, FollowsTheBaudRateAndTheLatency) {
    ModuleConfig config;
    config.baud = 9600;
    config.slave.latency = 10 * kMicrosPerMilli;
    ModuleDriver driver(config);
    const Micros sent = driver.now;
    const Received reply = driver.exchange(readRequest(1, 0, 100));
    ASSERT_EQ(reply.bytes.size(), 205u);
    EXPECT_EQ(reply.times.back(), sent + 4011 + 10'000 + 234896);

    // A line at another rate than the module's carries nothing it understands.
    driver.module.setBaud(19200);
    EXPECT_TRUE(driver.exchange(writeRequest(1, 30, 5)).bytes.empty());
    driver.module.setBaud(9600);
    const Micros sent2 = driver.now;
    const Received echo = driver.exchange(writeRequest(1, 30, 5));
    ASSERT_EQ(echo.bytes.size(), 8u);
    EXPECT_EQ(echo.times.back(), sent2 + 4011 + 10'000 + LineTiming{9600}.charactersTime(8));
}

TEST(Commit, TheNewStationRateAndFormatHoldOnceTheMarkersEchoHasGoneOut) {
    ModuleDriver driver;
    for (const auto& [reg, value] : {std::pair{90, 5}, {92, 0}, {95, 0}, {96, 59881}}) {
        const Bytes request =
            writeRequest(1, static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(value));
        EXPECT_EQ(hex(driver.exchange(request).bytes), hex(request)) << reg;
    }
    EXPECT_EQ(driver.module.rs485Baud(), 9600u);
    EXPECT_EQ(driver.module.frameFormat(), FrameFormat::N81);
    // Station, rate: each old one alone is not answered any more.
    const std::tuple<std::uint32_t, std::uint8_t, std::size_t> asked[] = {
        {57600, 1, 0}, {57600, 5, 0}, {9600, 1, 0}, {9600, 5, 7}};
    constexpr LineTiming k8N1At9600{9600, 10};  // ten bit times a character
    for (const auto& [baud, station, replyBytes] : asked) {
        driver.module.setBaud(baud);
        const Micros sent = driver.now;
        const Received reply = driver.exchange(readRequest(station, 11, 1));
        ASSERT_EQ(reply.bytes.size(), replyBytes) << baud << " station " << int{station};
        if (replyBytes > 0) {
            EXPECT_EQ(reply.times.back(),
                      sent + k8N1At9600.frameSilence() + 2'000 + k8N1At9600.charactersTime(7));
        }
    }
}

TEST(ReplyPacing, ZeroLatencyStillWaitsForTheEndOfTheRequest) {
    ModuleConfig config;
    config.slave.latency = 0;
    ModuleDriver driver(config);
    const Micros sent = driver.now;
    const Received reply = driver.exchange(readRequest(1, 11, 1));
    ASSERT_EQ(reply.bytes.size(), 7u);
    EXPECT_EQ(reply.times.front(), sent + 1750 + 191);
}

}  // namespace
}  // namespace vr7c::sim::test
