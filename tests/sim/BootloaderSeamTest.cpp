// The seam for the STM32 system bootloader: a lone 0x7F between Modbus frames hands the line to
// the installed bootloader device, which can hand it back.

#include <gtest/gtest.h>

#include "LineDevice.h"
#include "SimTestSupport.h"

namespace vr7c::sim::test {
namespace {

// Stands in for the bootloader: ACKs every byte, and hands the line back on 0x21 (Go).
class FakeBootloader final : public LineDevice {
public:
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kGo = 0x21;

    void reset(Micros now) override {
        ++resets;
        lastReset = now;
    }
    void receive(std::uint8_t byte, Micros now, LineOutput& out) override {
        received.push_back(byte);
        const std::uint8_t ack = kAck;
        out.send(std::span(&ack, 1), now + 100);
        if (byte == kGo) {
            handover = LineHandover{LineOwner::Application, {}, now};
        }
    }
    void advance(Micros, LineOutput&) override {}
    std::optional<Micros> deadline() const override { return std::nullopt; }
    std::optional<LineHandover> takeHandover() override {
        return std::exchange(handover, std::nullopt);
    }

    Bytes received;
    int resets = 0;
    Micros lastReset = -1;
    std::optional<LineHandover> handover;
};

class BootloaderSeam : public ::testing::Test {
protected:
    BootloaderSeam() {
        auto device = std::make_unique<FakeBootloader>();
        fake = device.get();
        driver.module.installBootloader(std::move(device));
    }
    ModuleDriver driver;
    FakeBootloader* fake = nullptr;
};

TEST_F(BootloaderSeam, LoneSyncByteHandsTheLineToTheBootloader) {
    const Received ack = driver.exchange(Bytes{0x7F});
    EXPECT_EQ(driver.module.owner(), LineOwner::Bootloader);
    EXPECT_EQ(fake->received, Bytes{0x7F});
    EXPECT_EQ(fake->resets, 1);
    EXPECT_EQ(hex(ack.bytes), "79");
}

TEST_F(BootloaderSeam, WhileTheBootloaderOwnsTheLineModbusIsNotAnswered) {
    driver.exchange(Bytes{0x7F});
    const Bytes request = readRequest(1, 0, 100);
    const Received received = driver.exchange(request);
    EXPECT_EQ(received.bytes, Bytes(8, FakeBootloader::kAck));  // the fake ACKs each byte
    EXPECT_EQ(fake->received.size(), 9u);
    EXPECT_EQ(driver.module.slave().counters().requestsSeen, 0u);
}

TEST_F(BootloaderSeam, GoHandsTheLineBackToModbus) {
    driver.exchange(Bytes{0x7F});
    driver.exchange(Bytes{FakeBootloader::kGo});
    EXPECT_EQ(driver.module.owner(), LineOwner::Application);
    EXPECT_EQ(driver.exchange(readRequest(1, 0, 100)).bytes.size(), 205u);
}

TEST_F(BootloaderSeam, SyncByteStartingALongerFrameIsModbus) {
    // Station 127 is a Modbus address like any other: its frame begins with 0x7F.
    driver.module.slave().config().station = 0x7F;
    const Received received = driver.exchange(readRequest(0x7F, 11, 1));
    EXPECT_EQ(driver.module.owner(), LineOwner::Application);
    EXPECT_EQ(hex(received.bytes), hex(withCrc({0x7F, 0x03, 0x02, 0x00, 150})));
    EXPECT_TRUE(fake->received.empty());
}

TEST_F(BootloaderSeam, SyncByteRightAfterAFrameIsPartOfIt) {
    Bytes request = readRequest(1, 0, 100);
    request.push_back(0x7F);
    EXPECT_TRUE(driver.exchange(request).bytes.empty());  // one frame, wrong CRC
    EXPECT_EQ(driver.module.owner(), LineOwner::Application);
}

TEST_F(BootloaderSeam, HangUpKeepsTheBootloaderOwningTheLine) {
    driver.exchange(Bytes{0x7F});
    driver.module.lineDropped(driver.now);
    EXPECT_EQ(driver.module.owner(), LineOwner::Bootloader);
}

TEST(BootloaderSeamAbsent, LoneSyncByteIsAnIgnoredFrame) {
    ModuleDriver driver;
    EXPECT_TRUE(driver.exchange(Bytes{0x7F}).bytes.empty());
    EXPECT_EQ(driver.module.owner(), LineOwner::Application);
    EXPECT_EQ(driver.module.slave().counters().badFrames, 1u);
}

}  // namespace
}  // namespace vr7c::sim::test
