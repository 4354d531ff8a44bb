// The Modbus RTU slave's frames: what a request gets back, byte for byte.

#include <gtest/gtest.h>

#include <string>

#include "ModbusSlave.h"
#include "SimCrc.h"
#include "SimTestSupport.h"

namespace vr7c::sim::test {
namespace {

TEST(SimCrc, CheckValueOfOneToNineIs4B37) {
    const std::string text = "123456789";
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(crc16(bytes), 0x4B37);
}

TEST(SimCrc, KnownRequestFramesCarryTheirCrcLowByteFirst) {
    EXPECT_EQ(hex(readRequest(1, 0, 100)), "01 03 00 00 00 64 44 21");
    EXPECT_EQ(hex(readRequest(1, 2200, 100)), "01 03 08 98 00 64 C7 AE");
    EXPECT_EQ(hex(writeRequest(1, 2211, 0xAAAA)), "01 06 08 A3 AA AA 85 57");
    EXPECT_TRUE(crcMatches(readRequest(1, 0, 100)));
    EXPECT_FALSE(crcMatches(Bytes{0x01, 0x03}));
}

// One row: a request and the reply a real slave gives (empty: no reply at all).
struct FrameCase {
    const char* name;
    bool plcCan;
    Bytes request;
    Bytes reply;
};

std::ostream& operator<<(std::ostream& os, const FrameCase& c) {
    return os << c.name;
}

class SlaveFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(SlaveFrames, RepliesAsARealSlave) {
    const FrameCase& c = GetParam();
    ModuleConfig config;
    config.slave.plcCan = c.plcCan;
    ModuleDriver driver(config);
    driver.module.model().setFrozen(true);
    const Received received = driver.exchange(c.request);
    EXPECT_EQ(hex(received.bytes), hex(c.reply));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SlaveFrames,
    ::testing::Values(
        FrameCase{"ReadOneRegister_Version", false, readRequest(1, 11, 1),
                  withCrc({0x01, 0x03, 0x02, 0x00, 150})},
        FrameCase{
            "ReadConfigurationBlock", false, readRequest(1, 84, 12),
            withCrc({0x01, 0x03, 24, 0x00, 0, 0x00, 9, 0x00, 0,   0x00, 0,    0x03, 0xE8, 0xFF,
                     0xF1, 0x00, 1,  0x00, 6, 0x00, 3, 0x00, 100, 0x00, 0x50, 0x00, 2})},
        FrameCase{"PlcCanReadsAt2200", true, readRequest(1, 2211, 1),
                  withCrc({0x01, 0x03, 0x02, 0x00, 150})},
        FrameCase{"PlcCanPlainAddressIsIllegal", true, readRequest(1, 11, 1),
                  withCrc({0x01, 0x83, 0x02})},
        FrameCase{"PlcCanWriteAt2299IsEchoed", true, writeRequest(1, 2299, 7),
                  writeRequest(1, 2299, 7)},
        FrameCase{"PlcCanWriteAt2300IsIllegal", true, writeRequest(1, 2300, 7),
                  withCrc({0x01, 0x86, 0x02})},
        FrameCase{"WriteIsEchoed", false, writeRequest(1, 30, 1234), writeRequest(1, 30, 1234)},
        FrameCase{"WriteRegister99IsEchoed", false, writeRequest(1, 99, 1), writeRequest(1, 99, 1)},
        FrameCase{"WriteRegister100IsIllegalAddress", false, writeRequest(1, 100, 1),
                  withCrc({0x01, 0x86, 0x02})},
        FrameCase{"ReadPastRegister99IsIllegalAddress", false, readRequest(1, 99, 2),
                  withCrc({0x01, 0x83, 0x02})},
        FrameCase{"ReadAtRegister100IsIllegalAddress", false, readRequest(1, 100, 1),
                  withCrc({0x01, 0x83, 0x02})},
        FrameCase{"ReadCountZeroIsIllegalValue", false, readRequest(1, 0, 0),
                  withCrc({0x01, 0x83, 0x03})},
        FrameCase{"ReadCount126IsIllegalValue", false, readRequest(1, 0, 126),
                  withCrc({0x01, 0x83, 0x03})},
        FrameCase{"UnknownFunctionIsIllegalFunction", false,
                  withCrc({0x01, 0x10, 0x00, 0x1E, 0x00, 0x01, 0x02, 0x00, 0x05}),
                  withCrc({0x01, 0x90, 0x01})},
        FrameCase{"ReadInputRegistersIsIllegalFunction", false,
                  withCrc({0x01, 0x04, 0x00, 0x00, 0x00, 0x01}), withCrc({0x01, 0x84, 0x01})},
        FrameCase{"ReadWithExtraByteIsIllegalValue", false,
                  withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00}), withCrc({0x01, 0x83, 0x03})},
        FrameCase{"OtherStationGetsNoReply", false, readRequest(2, 0, 100), {}},
        FrameCase{"BroadcastReadGetsNoReply", false, readRequest(0, 0, 1), {}},
        FrameCase{"BroadcastWriteGetsNoReply", false, writeRequest(0, 30, 5), {}},
        FrameCase{
            "BadCrcGetsNoReply", false, Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x64, 0x44, 0x22}, {}},
        FrameCase{"TooShortGetsNoReply", false, Bytes{0x01, 0x03, 0x00}, {}},
        FrameCase{"LoneSyncByteWithoutBootloaderGetsNoReply", false, Bytes{0x7F}, {}}),
    [](const ::testing::TestParamInfo<FrameCase>& row) { return std::string(row.param.name); });

TEST(SlaveFrames, ReadOfRegisters0To99Is205BytesWithCorrectCrc) {
    ModuleDriver driver;
    const Received received = driver.exchange(readRequest(1, 0, 100));
    ASSERT_EQ(received.bytes.size(), 205u);
    EXPECT_EQ(received.bytes[0], 0x01);
    EXPECT_EQ(received.bytes[1], 0x03);
    EXPECT_EQ(received.bytes[2], 200);
    EXPECT_TRUE(crcMatches(received.bytes));
    // The words are the registers as they stood when the reply was built.
    const auto& image = driver.module.slave().lastReadImage();
    for (int i = 0; i < 100; ++i) {
        const int word = received.bytes[3 + 2 * i] << 8 | received.bytes[4 + 2 * i];
        EXPECT_EQ(word, image[i]) << "register " << i;
    }
    EXPECT_EQ(image[11], 150);
}

TEST(SlaveFrames, PlcCanReadOf2200To2299Is205BytesAndMatchesPlainRead) {
    ModuleConfig config;
    config.slave.plcCan = true;
    ModuleDriver driver(config);
    driver.module.model().setFrozen(true);
    const Received bridged = driver.exchange(readRequest(1, 2200, 100));
    ASSERT_EQ(bridged.bytes.size(), 205u);
    EXPECT_TRUE(crcMatches(bridged.bytes));
    EXPECT_EQ(bridged.bytes[3 + 2 * 11 + 1], 150);
    // 0..99 is not mapped in bridge mode.
    const Received plain = driver.exchange(readRequest(1, 0, 100));
    EXPECT_EQ(hex(plain.bytes), hex(withCrc({0x01, 0x83, 0x02})));
}

TEST(SlaveFrames, ReadOf125RegistersFromRegister0IsIllegalAddressNotValue) {
    ModuleDriver driver;
    const Received received = driver.exchange(readRequest(1, 0, 125));
    EXPECT_EQ(hex(received.bytes), hex(withCrc({0x01, 0x83, 0x02})));
}

TEST(SlaveFrames, ConfiguredStationAnswersAndStation1DoesNot) {
    ModuleConfig config;
    config.slave.station = 16;
    ModuleDriver driver(config);
    EXPECT_TRUE(driver.exchange(readRequest(1, 0, 1)).bytes.empty());
    const Received received = driver.exchange(readRequest(16, 11, 1));
    EXPECT_EQ(hex(received.bytes), hex(withCrc({16, 0x03, 0x02, 0x00, 150})));
    EXPECT_EQ(driver.module.slave().counters().otherStationFrames, 1u);
}

TEST(SlaveFrames, Station0AnswersWhenConfiguredSo) {
    ModuleConfig config;
    config.slave.station = 0;
    ModuleDriver driver(config);
    const Received received = driver.exchange(readRequest(0, 11, 1));
    EXPECT_EQ(hex(received.bytes), hex(withCrc({0, 0x03, 0x02, 0x00, 150})));
}

TEST(SlaveFrames, WriteChangesTheRegisterAndIsLogged) {
    ModuleDriver driver;
    const Bytes request = writeRequest(1, 31, 2222);
    EXPECT_EQ(hex(driver.exchange(request).bytes), hex(request));
    EXPECT_EQ(driver.module.model().get(31), 2222);
    const Received read = driver.exchange(readRequest(1, 31, 1));
    EXPECT_EQ(hex(read.bytes), hex(withCrc({0x01, 0x03, 0x02, 0x08, 0xAE})));
    ASSERT_EQ(driver.module.slave().writes().size(), 1u);
    EXPECT_EQ(driver.module.slave().writes()[0].reg, 31);
    EXPECT_EQ(driver.module.slave().writes()[0].value, 2222);
}

TEST(SlaveFrames, PlcCanWriteOfRegister11LandsInRegister11) {
    ModuleConfig config;
    config.slave.plcCan = true;
    ModuleDriver driver(config);
    const Bytes request = writeRequest(1, 2211, 43690);
    EXPECT_EQ(hex(request), "01 06 08 A3 AA AA 85 57");
    EXPECT_EQ(hex(driver.exchange(request).bytes), hex(request));
    EXPECT_EQ(driver.module.model().get(11), 43690);
    EXPECT_EQ(driver.module.slave().writes().back().reg, 11);
}

TEST(SlaveFrames, BroadcastWriteIsCarriedOutSilently) {
    ModuleDriver driver;
    EXPECT_TRUE(driver.exchange(writeRequest(0, 32, 777)).bytes.empty());
    EXPECT_EQ(driver.module.model().get(32), 777);
}

TEST(SlaveFrames, BadCrcAndOtherStationAreCountedAndIgnored) {
    ModuleDriver driver;
    Bytes bad = readRequest(1, 0, 100);
    bad[7] ^= 0x01;
    EXPECT_TRUE(driver.exchange(bad).bytes.empty());
    EXPECT_TRUE(driver.exchange(readRequest(3, 0, 100)).bytes.empty());
    const SlaveCounters& c = driver.module.slave().counters();
    EXPECT_EQ(c.framesReceived, 2u);
    EXPECT_EQ(c.badFrames, 1u);
    EXPECT_EQ(c.otherStationFrames, 1u);
    EXPECT_EQ(c.requestsSeen, 0u);
    EXPECT_EQ(c.repliesSent, 0u);
}

TEST(SlaveFrames, SequenceRegister97CountsReadReplies) {
    ModuleDriver driver;
    for (int i = 1; i <= 3; ++i) {
        const Received received = driver.exchange(readRequest(1, 97, 1));
        ASSERT_EQ(received.bytes.size(), 7u);
        EXPECT_EQ(received.bytes[3] << 8 | received.bytes[4], i);
    }
    // Writes and exceptions do not count.
    driver.exchange(writeRequest(1, 30, 1));
    driver.exchange(readRequest(1, 100, 1));
    EXPECT_EQ(driver.module.model().get(97), 3);
}

TEST(SlaveFrames, RequestBytesWithAGapOfSilenceAreTwoFramesAndUnanswered) {
    ModuleDriver driver;
    const Bytes request = readRequest(1, 0, 100);
    driver.module.receive(std::span(request).first(4), driver.now);
    driver.run(1'750);  // 3.5 character times at 57600 baud end the frame
    const Received received = driver.exchange(std::span(request).subspan(4));
    EXPECT_TRUE(received.bytes.empty());
    EXPECT_EQ(driver.module.slave().counters().badFrames, 2u);
}

TEST(SlaveFrames, RequestBytesWithAShortGapAreOneFrame) {
    ModuleDriver driver;
    const Bytes request = readRequest(1, 11, 1);
    driver.module.receive(std::span(request).first(4), driver.now);
    driver.run(1'749);
    const Received received = driver.exchange(std::span(request).subspan(4));
    EXPECT_EQ(hex(received.bytes), hex(withCrc({0x01, 0x03, 0x02, 0x00, 150})));
}

TEST(SlaveFrames, GarbageOfEveryLengthNeverCrashes) {
    ModuleDriver driver;
    SimRandom random(42);
    for (int n = 0; n < 400; ++n) {
        Bytes bytes(static_cast<std::size_t>(random.range(1, 300)));
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random.next());
        }
        driver.exchange(bytes, 5 * kMicrosPerMilli);
    }
    EXPECT_EQ(driver.module.slave().counters().framesReceived, 400u);
    // Still answers afterwards.
    EXPECT_EQ(driver.exchange(readRequest(1, 0, 100)).bytes.size(), 205u);
}

}  // namespace
}  // namespace vr7c::sim::test
