#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "DriverOnFake.h"

namespace {

std::vector<std::uint8_t> Bytes(int count, std::uint8_t first) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}

class DriverReceive : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(d.Connect()); }
    DriverOnFake f;
    VEVErizEvezad& d = *f.driver;
};

TEST_F(DriverReceive, Reads_AccumulateAfterWhatIsAlreadyThere) {
    f.port->feed({1, 2, 3});
    f.port->feed({4, 5});
    d.PollReceive();
    d.PollReceive();
    ASSERT_EQ(d.RxCount, 5);
    EXPECT_EQ(std::vector<std::uint8_t>(d.RxBuffer, d.RxBuffer + 5),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(DriverReceive, ReadThatStillFits_LandsBehindTheAccumulatedBytes) {
    d.RxCount = 1000;
    f.port->feed(Bytes(23, 1));
    d.PollReceive();
    EXPECT_EQ(d.RxCount, 1023);
    EXPECT_EQ(d.RxBuffer[1000], 1);
    EXPECT_EQ(d.RxBuffer[1022], 23);
}

TEST_F(DriverReceive, ReadReaching1024_DiscardsAccumulationAndStartsAtZero) {
    d.RxCount = 1000;
    d.RxBuffer[30] = 0xEE;
    f.port->feed(Bytes(24, 1));
    d.PollReceive();
    EXPECT_EQ(d.RxCount, 24);
    EXPECT_EQ(d.RxBuffer[0], 1);
    EXPECT_EQ(d.RxBuffer[23], 24);
    // Positions beyond RxCount keep their old content.
    EXPECT_EQ(d.RxBuffer[30], 0xEE);
}

TEST_F(DriverReceive, ReadOfExactly1024_FillsBufferAndNextReadStartsOver) {
    f.port->feed(std::vector<std::uint8_t>(1024, 0x11));
    d.PollReceive();
    EXPECT_EQ(d.RxCount, 1024);
    f.port->feed({0x22});
    d.PollReceive();
    EXPECT_EQ(d.RxCount, 1);
    EXPECT_EQ(d.RxBuffer[0], 0x22);
}

TEST_F(DriverReceive, ClientRxCountAbove1024_IsTreatedAsFullWithoutOverrun) {
    d.RxCount = 5000;
    f.port->feed({7, 8});
    d.PollReceive();
    EXPECT_EQ(d.RxCount, 2);
    EXPECT_EQ(d.RxBuffer[0], 7);
}

TEST_F(DriverReceive, OnReceiveData_GetsOnlyTheLatestReadAfterItWasAppended) {
    std::vector<std::uint8_t> seen;
    int seenCount = -1;
    d.SetOnReceiveData([&](VEVErizEvezad* sender, const void* data, std::int32_t size) {
        EXPECT_EQ(sender, &d);
        auto* p = static_cast<const std::uint8_t*>(data);
        seen.assign(p, p + size);
        seenCount = d.RxCount;
    });
    f.port->feed({1, 2});
    f.port->feed({3, 4, 5});
    d.PollReceive();
    d.PollReceive();
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{3, 4, 5}));
    EXPECT_EQ(seenCount, 5);
}

TEST_F(DriverReceive, FailedOrEmptyRead_ChangesNothingAndRaisesNoEvent) {
    int events = 0;
    d.SetOnReceiveData([&](VEVErizEvezad*, const void*, std::int32_t) { ++events; });
    d.RxCount = 3;
    f.port->failingReads = 1;
    d.PollReceive();
    d.PollReceive();
    EXPECT_EQ(d.RxCount, 3);
    EXPECT_EQ(events, 0);
}

TEST_F(DriverReceive, ClosedDriver_DoesNotRead) {
    d.Disconnect();
    f.port->feed({1});
    d.PollReceive();
    EXPECT_EQ(f.port->readCalls, 0);
    EXPECT_EQ(d.RxCount, 0);
}

TEST(DriverReceiveLargeInput, InputSizeAbove1024_NeverCopiesPastRxBuffer) {
    DriverOnFake f;
    f.driver->SetComPortInBufSize(3000);
    ASSERT_TRUE(f.driver->Connect());
    std::int32_t eventSize = 0;
    f.driver->SetOnReceiveData(
        [&](VEVErizEvezad*, const void*, std::int32_t size) { eventSize = size; });
    std::vector<std::uint8_t> big(1500);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i);
    }
    f.port->feed(big);
    f.driver->RxCount = 10;
    f.driver->PollReceive();
    // The newest 1024 bytes are kept; the event still sees the whole read.
    EXPECT_EQ(f.driver->RxCount, 1024);
    EXPECT_EQ(f.driver->RxBuffer[0], static_cast<std::uint8_t>(476));
    EXPECT_EQ(f.driver->RxBuffer[1023], static_cast<std::uint8_t>(1499));
    EXPECT_EQ(eventSize, 1500);
}

TEST(DriverReceiveLargeInput, ZeroInputSize_ReadsNothing) {
    DriverOnFake f;
    f.driver->SetComPortInBufSize(0);
    ASSERT_TRUE(f.driver->Connect());
    f.port->feed({1});
    f.driver->PollReceive();
    EXPECT_EQ(f.driver->RxCount, 0);
}

}  // namespace
