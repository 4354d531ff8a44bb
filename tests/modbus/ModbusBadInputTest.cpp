// Out-of-range inputs and arbitrary line bytes: nothing is read or written outside RxBuffer,
// ReplyWords or RegisterImage (run under ASan/UBSan), and every decision is pinned down.

#include <climits>
#include <random>

#include "ModbusTestSupport.h"

class ModbusBadInput : public ModbusTest {
protected:
    // Fills RxBuffer with a 1024-byte pattern whose last two bytes are the CRC of the first
    // 1022, so that a check over the whole buffer passes.
    void FillBufferWithGoodCrc() {
        Bytes bytes(1022);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
        }
        SetRx(WithCrc(bytes));
        ASSERT_EQ(driver->RxCount, 1024);
    }
};

TEST_F(ModbusBadInput, RxCountZeroOrOneIsRefusedWithoutReading) {
    for (std::uint16_t count : {std::uint16_t{0}, std::uint16_t{1}}) {
        ExpectedBytes = 0;
        ReplyOk = true;
        ReplyWords[0] = 0x1111;
        driver->RxCount = count;
        CheckReadReply();
        EXPECT_FALSE(ReplyOk);
        EXPECT_EQ(ReplyWords[0], 0x1111);
        EXPECT_FALSE(TakeReadReply(0));  // and incomplete anyway
    }
}

TEST_F(ModbusBadInput, RxCountTwoChecksTheCrcOfNothing) {
    // In range: CRC over 0 bytes is 0xFFFF, compared with the two bytes there.
    ExpectedBytes = 0;
    SetRx({0xFF, 0xFF});
    CheckReadReply();
    EXPECT_TRUE(ReplyOk);
    SetRx({0xFF, 0xFE});
    CheckReadReply();
    EXPECT_FALSE(ReplyOk);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
    EXPECT_EQ(Crc16(nullptr, 10), 0xFFFF);
}

TEST_F(ModbusBadInput, RxCountAbove1024IsTakenAs1024) {
    FillBufferWithGoodCrc();
    SendReadRequest(0, 100, 3);
    for (std::uint16_t count : {std::uint16_t{1025}, std::uint16_t{2000}, std::uint16_t{65535}}) {
        SCOPED_TRACE(count);
        driver->RxCount = count;
        ReplyOk = false;
        CheckReadReply();
        EXPECT_TRUE(ReplyOk);  // the CRC over bytes 0..1021 sits in bytes 1022, 1023
        ClearRegisterImage();
        EXPECT_TRUE(TakeReadReply(0));
        EXPECT_EQ(RegisterImage[0], driver->RxBuffer[3] * 256 + driver->RxBuffer[4]);
        EXPECT_EQ(RegisterImage[100], 0);
    }
    // A reply too long for the buffer can never be complete.
    SendReadRequest(0, 510, 3);  // 1025 bytes expected
    driver->RxCount = 65535;
    EXPECT_FALSE(TakeReadReply(0));
    SendReadRequest(0, 509, 3);  // 1023 bytes expected: complete, 1024 accumulated
    driver->RxCount = 65535;
    EXPECT_TRUE(TakeReadReply(0));
}

TEST_F(ModbusBadInput, RxCountAbove1024InTheWriteWait) {
    port->onWrite = [this](const Bytes& request) {
        driver->RxCount = 60000;  // a client's nonsense, set during the send
        (void)request;
    };
    const bool result = WriteRegisterOnce(30, 1, 6);
    (void)result;  // whatever the verdict: no access past RxBuffer
    SUCCEED();
}

TEST_F(ModbusBadInput, CountAboveReplyWordsCapacityIsClamped) {
    // 200 registers: 405 bytes fit RxBuffer; ReplyWords takes 125 words, RegisterImage 101.
    const auto words = PatternWords(200);
    RegisterImage[100] = 0xBEEF;
    SendReadRequest(0, 200, 3);
    EXPECT_EQ(ExpectedBytes, 400);
    Arrive(ReadReply(words));
    ASSERT_TRUE(TakeReadReply(0));
    for (int i = 0; i < kReplyWordsCapacity; ++i) {
        EXPECT_EQ(ReplyWords[i], words[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < kRegisterImageSize; ++i) {
        EXPECT_EQ(RegisterImage[i], words[static_cast<std::size_t>(i)]);
    }
}

TEST_F(ModbusBadInput, IndexNearTheEndCopiesOnlyWhatFits) {
    const auto words = PatternWords(100);
    SendReadRequest(0, 100, 3);
    Arrive(ReadReply(words));
    ASSERT_TRUE(TakeReadReply(90));
    for (int i = 0; i < 90; ++i) {
        EXPECT_EQ(RegisterImage[i], 0);
    }
    for (int i = 90; i <= 100; ++i) {
        EXPECT_EQ(RegisterImage[i], words[static_cast<std::size_t>(i - 90)]);
    }
}

TEST_F(ModbusBadInput, NegativeIndexCopiesOnlyWhatFallsInsideTheImage) {
    const auto words = PatternWords(100);
    SendReadRequest(0, 100, 3);
    Arrive(ReadReply(words));
    RegisterImage[100] = 0xBEEF;
    ASSERT_TRUE(TakeReadReply(-5));
    for (int i = 0; i < 95; ++i) {
        EXPECT_EQ(RegisterImage[i], words[static_cast<std::size_t>(i + 5)]);
    }
    for (int i = 95; i < 100; ++i) {
        EXPECT_EQ(RegisterImage[i], 0);
    }
    EXPECT_EQ(RegisterImage[100], 0xBEEF);
}

TEST_F(ModbusBadInput, IndexOutsideTheImageCopiesNothingButTakesTheReply) {
    const auto words = PatternWords(100);
    SendReadRequest(0, 100, 3);
    Arrive(ReadReply(words));
    for (std::int32_t index : {101, 1000, INT32_MAX, -100, -101, -100000, INT32_MIN}) {
        SCOPED_TRACE(index);
        EXPECT_TRUE(TakeReadReply(index));
        for (int i = 0; i < kRegisterImageSize; ++i) {
            ASSERT_EQ(RegisterImage[i], 0);
        }
    }
    EXPECT_TRUE(TakeReadReply(-99));  // only word 99 lands, at 0
    EXPECT_EQ(RegisterImage[0], words[99]);
    EXPECT_EQ(RegisterImage[1], 0);
    EXPECT_TRUE(TakeReadReply(100));  // only word 0 lands, at 100
    EXPECT_EQ(RegisterImage[100], words[0]);
}

TEST_F(ModbusBadInput, NegativeAndHugeCountsKeepTheirLow16BitsDoubled) {
    struct Case {
        std::int32_t count;
        std::uint16_t expected;
    };
    for (const Case c :
         {Case{-1, 65534}, Case{INT32_MAX, 65534}, Case{INT32_MIN, 0}, Case{32768, 0},
          Case{32767, 65534}, Case{1000000, 33920}, Case{-100, 65336}}) {
        SCOPED_TRACE(c.count);
        SendReadRequest(0, c.count, 3);
        EXPECT_EQ(ExpectedBytes, c.expected);
    }
    // A count whose doubled low 16 bits are 0 completes with any CRC-correct 5 bytes.
    SendReadRequest(0, 32768, 3);
    Arrive(WithCrc({1, 3, 0}));
    RegisterImage[0] = 0x7777;
    EXPECT_TRUE(TakeReadReply(0));
    EXPECT_EQ(RegisterImage[0], 0x7777);  // zero words copied
    // -1 expects 65534 bytes: never complete, even with RxCount at its maximum.
    FillBufferWithGoodCrc();
    SendReadRequest(0, -1, 3);
    driver->RxCount = 65535;
    EXPECT_FALSE(TakeReadReply(0));
}

TEST_F(ModbusBadInput, ExtremeRegisterNumbersWrapAsThirtyTwoBitNumbers) {
    host.plcCan = true;
    SendReadRequest(INT32_MAX, 100, 3);  // + 2200 wraps to INT32_MIN + 2199
    EXPECT_EQ(LastFrame(), WithCrc({0x01, 0x03, 0x09, 0x97, 0x00, 0x64}));
    host.plcCan = false;
    SendReadRequest(INT32_MIN, INT32_MIN, 3);
    EXPECT_EQ(LastFrame(), WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x00}));
    WriteRegisterOnce(INT32_MIN, INT32_MAX, 6);  // INT32_MAX: 7FFFFFFF / 256 = 7FFFFF
    EXPECT_EQ(LastFrame(), WithCrc({0x01, 0x06, 0x00, 0x00, 0xFF, 0xFF}));
    host.plcCan = true;
    EXPECT_FALSE(WriteRegister(INT32_MAX, 0xFFFF));
}

TEST_F(ModbusBadInput, RandomBytesNeverCrashAndTheVerdictFollowsTheCrc) {
    std::mt19937 rng(20240611);
    auto byte = [&rng] { return static_cast<std::uint8_t>(rng() & 0xFFu); };
    for (int round = 0; round < 3000; ++round) {
        // A request of a random size, then random pieces (sometimes a real reply).
        const std::int32_t count = static_cast<std::int32_t>(rng() % 140) - 10;
        SendReadRequest(static_cast<std::int32_t>(rng()), count, byte());
        const int pieces = static_cast<int>(rng() % 4);
        for (int p = 0; p < pieces; ++p) {
            Bytes chunk(rng() % 300);
            for (auto& b : chunk) {
                b = byte();
            }
            if (rng() % 3 == 0) {
                chunk = WithCrc(chunk);
            }
            Arrive(chunk);
        }
        // Sometimes a client's nonsense in RxCount.
        if (rng() % 8 == 0) {
            driver->RxCount = static_cast<std::uint16_t>(rng());
        }
        const int rx = std::min<int>(driver->RxCount, 1024);
        const bool complete = rx >= ExpectedBytes + 5;
        const bool crcOk =
            rx >= 2 && ReferenceCrc(driver->RxBuffer, static_cast<std::size_t>(rx - 2)) ==
                           (driver->RxBuffer[rx - 2] | driver->RxBuffer[rx - 1] << 8);
        const std::int32_t index = static_cast<std::int32_t>(rng() % 260) - 130;
        EXPECT_EQ(TakeReadReply(index), complete && crcOk);
        CheckReadReply();
        EXPECT_EQ(ReplyOk, crcOk);
        // And a write answered by random bytes.
        if (round % 10 == 0) {
            Bytes answer(rng() % 12);
            for (auto& b : answer) {
                b = byte();
            }
            AnswerWrites([answer](const Bytes&) { return answer; });
            (void)WriteRegisterOnce(static_cast<std::int32_t>(rng()),
                                    static_cast<std::int32_t>(rng()), byte());
            port->onWrite = nullptr;
            port->pendingReads.clear();
        }
    }
}
