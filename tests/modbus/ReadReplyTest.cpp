// Read requests and their replies (TakeReadReply, CheckReadReply).

#include <array>

#include "ModbusTestSupport.h"

class ModbusRead : public ModbusTest {
protected:
    void SetUp() override {
        ModbusTest::SetUp();
        words = PatternWords(100);
        reply = ReadReply(words);
        ASSERT_EQ(reply.size(), 205u);
    }
    void ExpectImageHoldsWords(int index = 0) {
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(RegisterImage[index + i], words[static_cast<std::size_t>(i)]) << "word " << i;
        }
    }
    std::vector<std::uint16_t> words;
    Bytes reply;
};

TEST_F(ModbusRead, CompleteReplyInOnePieceIsTaken) {
    SendReadRequest(0, 100, 3);
    Arrive(reply);
    EXPECT_EQ(driver->RxCount, 205);
    EXPECT_TRUE(TakeReadReply(0));
    EXPECT_TRUE(ReplyOk);
    ExpectImageHoldsWords();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ReplyWords[i], words[static_cast<std::size_t>(i)]);
    }
}

TEST_F(ModbusRead, ReplyInPiecesIsTakenOnlyOnceComplete) {
    SendReadRequest(0, 100, 3);
    const std::size_t cuts[] = {0, 1, 3, 60, 150, 204, 205};
    for (std::size_t k = 0; k + 1 < std::size(cuts); ++k) {
        EXPECT_FALSE(TakeReadReply(0)) << "after " << cuts[k] << " bytes";
        EXPECT_EQ(Image(), (std::array<std::uint16_t, kRegisterImageSize>{}));
        const auto from = reply.begin() + static_cast<std::ptrdiff_t>(cuts[k]);
        const auto to = reply.begin() + static_cast<std::ptrdiff_t>(cuts[k + 1]);
        Arrive(Bytes(from, to));
    }
    EXPECT_EQ(driver->RxCount, 205);
    EXPECT_TRUE(TakeReadReply(0));
    ExpectImageHoldsWords();
}

TEST_F(ModbusRead, IncompleteReplyChangesNothing) {
    SendReadRequest(0, 100, 3);
    Arrive(Bytes(reply.begin(), reply.begin() + 204));
    ReplyOk = true;
    ReplyWords[0] = 0xABCD;
    EXPECT_FALSE(TakeReadReply(0));
    EXPECT_TRUE(ReplyOk);  // CheckReadReply did not run
    EXPECT_EQ(ReplyWords[0], 0xABCD);
    EXPECT_EQ(driver->RxCount, 204);
}

TEST_F(ModbusRead, Word100IsNotTouched) {
    RegisterImage[100] = 0xBEEF;
    SendReadRequest(0, 100, 3);
    Arrive(reply);
    ASSERT_TRUE(TakeReadReply(0));
    ExpectImageHoldsWords();
    EXPECT_EQ(RegisterImage[100], 0xBEEF);
}

TEST_F(ModbusRead, TakeReadReplyNeverResetsRxCount) {
    SendReadRequest(0, 100, 3);
    Arrive(reply);
    EXPECT_TRUE(TakeReadReply(0));
    EXPECT_EQ(driver->RxCount, 205);
    EXPECT_TRUE(TakeReadReply(0));
    SendReadRequest(0, 100, 3);
    EXPECT_EQ(driver->RxCount, 0);
    EXPECT_FALSE(TakeReadReply(0));
}

TEST_F(ModbusRead, OneExtraByteFailsTheCrc) {
    FillImage(0x5555);
    // The check then covers 204 bytes and compares with the last two. (For this reply the one
    // extra byte 0x00 happens to make that check pass: a CRC coincidence, not tested here.)
    for (std::uint8_t extra : {std::uint8_t{0x01}, std::uint8_t{0x42}, std::uint8_t{0xFF}}) {
        SCOPED_TRACE(int{extra});
        SendReadRequest(0, 100, 3);
        Bytes longer = reply;
        longer.push_back(extra);
        Arrive(longer);
        EXPECT_EQ(driver->RxCount, 206);
        EXPECT_FALSE(TakeReadReply(0));
        EXPECT_FALSE(ReplyOk);
        EXPECT_EQ(Image()[0], 0x5555);
        EXPECT_EQ(Image()[99], 0x5555);
    }
}

TEST_F(ModbusRead, ExtraByteArrivingLaterSpoilsTheReply) {
    SendReadRequest(0, 100, 3);
    Arrive(Bytes(reply.begin(), reply.begin() + 100));
    Arrive(Bytes(reply.begin() + 100, reply.end()));
    Arrive({0x42});
    EXPECT_FALSE(TakeReadReply(0));
    EXPECT_EQ(Image()[0], 0);
}

TEST_F(ModbusRead, StrayLeadingByteFailsTheCrc) {
    FillImage(0x5555);
    SendReadRequest(0, 100, 3);
    Arrive({0xFF});
    Arrive(reply);
    EXPECT_EQ(driver->RxCount, 206);
    EXPECT_FALSE(TakeReadReply(0));
    EXPECT_EQ(Image()[0], 0x5555);
}

TEST_F(ModbusRead, WrongCrcIsRefused) {
    FillImage(0x5555);
    for (std::size_t pos : {std::size_t{203}, std::size_t{204}, std::size_t{3}}) {
        SCOPED_TRACE(pos);
        SendReadRequest(0, 100, 3);
        Bytes bad = reply;
        bad[pos] ^= 0x01;
        Arrive(bad);
        EXPECT_FALSE(TakeReadReply(0));
        EXPECT_FALSE(ReplyOk);
        EXPECT_EQ(Image()[0], 0x5555);
    }
}

TEST_F(ModbusRead, WrongAddressFunctionOrByteCountIsAccepted) {
    struct Header {
        std::uint8_t station, function;
        int byteCount;
    };
    for (const Header h : {Header{7, 3, 200}, Header{1, 0x83, 200}, Header{1, 4, 200},
                           Header{1, 3, 0}, Header{0xFF, 0x90, 17}}) {
        ClearRegisterImage();
        SendReadRequest(0, 100, 3);
        Arrive(ReadReply(words, h.station, h.function, h.byteCount));
        EXPECT_TRUE(TakeReadReply(0));
        ExpectImageHoldsWords();
    }
}

TEST_F(ModbusRead, PlcCanReadLandsAtPlainRegisterNumbers) {
    host.plcCan = true;
    SendReadRequest(0, 100, 3);
    EXPECT_EQ(LastFrame()[2], 0x08);
    EXPECT_EQ(LastFrame()[3], 0x98);
    Arrive(reply);  // words of wire addresses 2200..2299
    ASSERT_TRUE(TakeReadReply(0));
    EXPECT_EQ(RegisterImage[30], words[30]);
}

TEST_F(ModbusRead, StationAndModeAreTakenAtEachCall) {
    SendReadRequest(0, 100, 3);
    host.station = 9;
    host.plcCan = true;
    SendReadRequest(0, 100, 3);
    host.station = 2;
    host.plcCan = false;
    SendReadRequest(5, 1, 3);
    ASSERT_EQ(port->writes.size(), 3u);
    EXPECT_EQ(port->writes[0], WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x64}));
    EXPECT_EQ(port->writes[1], WithCrc({0x09, 0x03, 0x08, 0x98, 0x00, 0x64}));
    EXPECT_EQ(port->writes[2], WithCrc({0x02, 0x03, 0x00, 0x05, 0x00, 0x01}));
    EXPECT_EQ(host.stationQueries, 3);
    EXPECT_EQ(host.modeQueries, 3);
}

TEST_F(ModbusRead, SmallReadAtAnIndex) {
    SendReadRequest(30, 6, 3);
    const auto six = PatternWords(6, 0x8000);
    Arrive(ReadReply(six));
    ASSERT_TRUE(TakeReadReply(30));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(RegisterImage[30 + i], six[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(RegisterImage[29], 0);
    EXPECT_EQ(RegisterImage[36], 0);
}

// The echo comes in two pieces: six bytes, then its CRC in a later read.
class ModbusEchoTail : public ModbusRead {
protected:
    void SetUp() override {
        ModbusRead::SetUp();
        port->onWrite = [this](const Bytes& request) {
            port->feed(Bytes(request.begin(), request.begin() + 6));
            port->feed(Bytes(request.begin() + 6, request.end()));
        };
        ASSERT_TRUE(WriteRegisterOnce(30, 100, 6));
        port->onWrite = nullptr;
        ASSERT_EQ(driver->RxCount, 6);  // the wait stopped at six bytes
        ASSERT_EQ(port->pendingReads.size(), 1u);
    }
};

TEST_F(ModbusEchoTail, TailPolledBeforeTheReadRequestIsDiscarded) {
    driver->PollReceive();
    EXPECT_EQ(driver->RxCount, 8);
    SendReadRequest(0, 100, 3);
    Arrive(reply);
    EXPECT_TRUE(TakeReadReply(0));
    ExpectImageHoldsWords();
}

TEST_F(ModbusEchoTail, TailStillOnTheLineIsDroppedBeforeTheReadRequest) {
    SendReadRequest(0, 100, 3);
    EXPECT_TRUE(port->pendingReads.empty());
    Arrive(reply);
    EXPECT_EQ(driver->RxCount, 205);
    EXPECT_TRUE(TakeReadReply(0));
    ExpectImageHoldsWords();
}

TEST_F(ModbusEchoTail, TailIsNotJudgedAsTheNextEcho) {
    AnswerWrites([](const Bytes& request) { return request; });
    EXPECT_TRUE(WriteRegister(31, 200));
    EXPECT_EQ(port->writes.size(), 2u);  // the first write's and this one's
}

TEST_F(ModbusRead, CheckReadReplyCoversEverythingAccumulated) {
    // A CRC-correct frame of any length is accepted; the words come from position 3 on.
    ExpectedBytes = 4;
    SetRx(WithCrc({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    CheckReadReply();
    EXPECT_TRUE(ReplyOk);
    EXPECT_EQ(ReplyWords[0], 0x4455);
    EXPECT_EQ(ReplyWords[1], 0x6677);
}

TEST_F(ModbusRead, FailedCheckLeavesReplyWords) {
    ExpectedBytes = 4;
    ReplyWords[0] = 0x1234;
    SetRx({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x00, 0x00});
    CheckReadReply();
    EXPECT_FALSE(ReplyOk);
    EXPECT_EQ(ReplyWords[0], 0x1234);
}
