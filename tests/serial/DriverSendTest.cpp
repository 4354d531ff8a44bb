#include <gtest/gtest.h>

#include <vector>

#include "DriverOnFake.h"

namespace {

const std::uint8_t kFrame[8] = {1, 3, 0, 0, 0, 0x64, 0x44, 0x21};

class DriverSend : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(d.Connect()); }
    DriverOnFake f;
    VEVErizEvezad& d = *f.driver;
};

TEST_F(DriverSend, WholeBlock_IsWrittenInOneCallAndCounted) {
    EXPECT_EQ(d.SendData(kFrame, 8), 8);
    ASSERT_EQ(f.port->writes.size(), 1u);
    EXPECT_EQ(f.port->writes[0], std::vector<std::uint8_t>(kFrame, kFrame + 8));
}

TEST_F(DriverSend, CountOfZeroOrBelow_WritesNothing) {
    EXPECT_EQ(d.SendData(kFrame, 0), 0);
    EXPECT_EQ(d.SendData(kFrame, -5), 0);
    EXPECT_TRUE(f.port->writes.empty());
}

TEST_F(DriverSend, ClosedDriver_SendsNothing) {
    d.Disconnect();
    EXPECT_EQ(d.SendData(kFrame, 8), 0);
    EXPECT_TRUE(f.port->writes.empty());
}

TEST_F(DriverSend, PartialWrites_ContinueFromTheFirstUnwrittenByte) {
    f.port->writeResult = 3;
    EXPECT_EQ(d.SendData(kFrame, 8), 8);
    ASSERT_EQ(f.port->writes.size(), 3u);
    EXPECT_EQ(f.port->writes[1][0], kFrame[3]);
    EXPECT_EQ(f.port->writes[2][0], kFrame[6]);
}

TEST_F(DriverSend, FullOutputQueue_TimesOutStrictlyAfterOutputTimeout) {
    f.port->outputQueue = 512;
    f.clock.autoAdvance = 1;
    const std::uint32_t start = f.clock.now;
    EXPECT_EQ(d.SendData(kFrame, 8), 0);
    EXPECT_GT(f.clock.now - start, 4000u);
    EXPECT_LT(f.clock.now - start, 4010u);
    EXPECT_TRUE(f.port->writes.empty());
}

TEST_F(DriverSend, TimeOutAfterProgress_ReturnsMinusBytesWritten) {
    f.clock.autoAdvance = 1;
    f.port->writeResult = 5;
    f.port->onWrite = [&](const std::vector<std::uint8_t>&) {
        f.port->outputQueue = 512;
        f.port->writeResult = -2;
    };
    d.SetOutputTimeout(50);
    EXPECT_EQ(d.SendData(kFrame, 8), -5);
}

TEST_F(DriverSend, LongOutputQueue_WrapsToFreeRoomAndWrites) {
    f.port->outputQueue = 600;
    EXPECT_EQ(d.SendData(kFrame, 8), 8);
}

TEST_F(DriverSend, WriteThatKeepsFailing_EndsAsOnATimeOutInsteadOfSpinning) {
    f.port->writeResult = -1;
    f.clock.autoAdvance = 1;
    d.SetOutputTimeout(100);
    EXPECT_EQ(d.SendData(kFrame, 8), 0);
}

TEST_F(DriverSend, PortThatHasGoneAway_EndsAtOnce) {
    f.port->hung = true;
    EXPECT_EQ(d.SendData(kFrame, 8), 0);
    EXPECT_EQ(f.clock.now, 0u);
}

}  // namespace
