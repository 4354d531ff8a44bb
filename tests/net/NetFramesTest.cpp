// The network lines' pure parts from tables: URLs, the telnet side of RFC 2217, MBAP frames.
#include <gtest/gtest.h>

#include <vector>

#include "ModbusTcpFrame.h"
#include "NetAddress.h"
#include "Rfc2217Codec.h"

namespace vr7c::net {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(NetAddressTest, UrlsAreReadOrRefusedAsTheTableSays) {
    struct Row {
        const char* text;
        bool valid;
        NetKind kind;
        const char* host;
        std::uint16_t port;
    };
    const Row rows[] = {
        {"tcp://127.0.0.1:4001", true, NetKind::RawTcp, "127.0.0.1", 4001},
        {"RFC2217://serial-server-7:4001", true, NetKind::Rfc2217, "serial-server-7", 4001},
        {"modbus-tcp://gw.example", true, NetKind::ModbusTcp, "gw.example", 502},
        {"modbus-tcp://[::1]:1502", true, NetKind::ModbusTcp, "::1", 1502},
        {"rfc2217://[::1]", false, NetKind::Rfc2217, "", 0},  // a serial server needs its port
        {"tcp://host", false, NetKind::RawTcp, "", 0},
        {"tcp://host:0", false, NetKind::RawTcp, "", 0},
        {"tcp://host:65536", false, NetKind::RawTcp, "", 0},
        {"tcp://host:40x", false, NetKind::RawTcp, "", 0},
        {"tcp://:4001", false, NetKind::RawTcp, "", 0},
        {"tcp://ho st:4001", false, NetKind::RawTcp, "", 0},
        {"tcp://[::1:4001", false, NetKind::RawTcp, "", 0},
        {"tcp://host:4001/x", false, NetKind::RawTcp, "", 0},
        {"udp://host:4001", false, NetKind::RawTcp, "", 0},
        {"/dev/ttyUSB0", false, NetKind::RawTcp, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto address = ParseNetAddress(row.text);
        ASSERT_EQ(address.has_value(), row.valid);
        if (row.valid) {
            EXPECT_EQ(*address, (NetAddress{row.kind, row.host, row.port}));
            EXPECT_EQ(ParseNetAddress(FormatNetAddress(*address)), address);
        }
    }
    EXPECT_TRUE(LooksLikeNetAddress("tcp://host"));
    EXPECT_FALSE(LooksLikeNetAddress("/dev/ttyS0"));
}

constexpr std::uint8_t IAC = telnet::kIac, WILL = telnet::kWill, WONT = telnet::kWont,
                       DO = telnet::kDo, DONT = telnet::kDont, SB = telnet::kSb, SE = telnet::kSe,
                       CPO = telnet::kComPortOption;

TEST(Rfc2217CodecTest, ServerBytesGiveDataAndAnswersWholeOrByteByByte) {
    struct Row {
        const char* name;
        Bytes in;
        Bytes data;
        Bytes answers;
    };
    const Row rows[] = {
        {"plain data", {0x01, 0x03, 0xC8}, {0x01, 0x03, 0xC8}, {}},
        {"a doubled 255 is one data byte", {0x10, IAC, IAC, 0x20}, {0x10, IAC, 0x20}, {}},
        {"agreement to our own offers is not answered",
         {IAC, DO, CPO, IAC, DO, 0, IAC, WILL, 0},
         {},
         {}},
        {"an option we do not know is refused",
         {IAC, DO, 24, IAC, WILL, 1, 7},
         {7},
         {IAC, WONT, 24, IAC, DONT, 1}},
        {"a refusal of something unknown needs no answer", {IAC, WONT, 24, IAC, DONT, 31}, {}, {}},
        {"a withdrawal after agreement is acknowledged",
         {IAC, DO, 3, IAC, DONT, 3},
         {},
         {IAC, WONT, 3}},
        {"NOP and go-ahead carry nothing", {1, IAC, 241, 2, IAC, 249, 3}, {1, 2, 3}, {}},
        {"notifications are taken out of the data",
         {5, IAC, SB, CPO, 106, 0x60, IAC, SE, 6, IAC, SB, CPO, 107, 0x30, IAC, SE},
         {5, 6},
         {}},
        {"a subnegotiation with a doubled 255 inside",
         {IAC, SB, CPO, 101, 0, 0, IAC, IAC, IAC, IAC, IAC, SE, 9},
         {9},
         {}},
        {"an overlong subnegotiation is dropped whole",
         [] {
             Bytes b{IAC, SB, CPO, 106};
             b.insert(b.end(), 40, 0x11);
             b.insert(b.end(), {IAC, SE, 0x42});
             return b;
         }(),
         {0x42},
         {}},
        {"a command inside a subnegotiation ends it",
         {IAC, SB, CPO, 106, IAC, DO, 24, 8},
         {8},
         {IAC, WONT, 24}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const bool byteByByte : {false, true}) {
            Rfc2217Codec codec;
            Bytes data;
            Bytes answers;
            if (byteByByte) {
                for (const std::uint8_t b : row.in) {
                    codec.receive(std::span(&b, 1), data, answers);
                }
            } else {
                codec.receive(row.in, data, answers);
            }
            EXPECT_EQ(data, row.data);
            EXPECT_EQ(answers, row.answers);
        }
    }
}

TEST(Rfc2217CodecTest, NegotiationSettingsAndNotificationsAreKept) {
    Rfc2217Codec codec;
    Bytes out;
    codec.start(out);
    EXPECT_EQ(out, (Bytes{IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, CPO}));
    Bytes data;
    codec.receive(Bytes{IAC, DONT, CPO}, data, out);
    EXPECT_TRUE(codec.comPortRefused());

    Rfc2217Codec agreed;
    agreed.receive(Bytes{IAC, DO, CPO}, data, out);
    EXPECT_TRUE(agreed.comPortAgreed());
    out.clear();
    agreed.setBaudRate(115200, out);
    agreed.setParity(comport::kParityEven, out);
    agreed.setControl(comport::kDtrOn, out);
    agreed.setBaudRate(0x0000FFFF, out);
    agreed.purge(comport::kPurgeBoth, out);
    EXPECT_EQ(out, (Bytes{IAC, SB, CPO, 1,  0x00, 0x01, 0xC2, 0x00, IAC, SE,            //
                          IAC, SB, CPO, 3,  3,    IAC,  SE,                             //
                          IAC, SB, CPO, 5,  8,    IAC,  SE,                             //
                          IAC, SB, CPO, 1,  0,    0,    IAC,  IAC,  IAC, IAC, IAC, SE,  //
                          IAC, SB, CPO, 12, 3,    IAC,  SE}));
    agreed.receive(
        Bytes{IAC, SB,  CPO, 101, 0,  0,   IAC, IAC,  IAC, IAC, IAC, SE, IAC, SB,  CPO, 103,
              2,   IAC, SE,  IAC, SB, CPO, 106, 0x61, IAC, SE,  IAC, SB, CPO, 108, IAC, SE},
        data, out);
    EXPECT_TRUE(agreed.setting(comport::kSetBaudRate).confirmed());
    EXPECT_FALSE(agreed.setting(comport::kSetParity).confirmed());  // odd came back
    EXPECT_EQ(agreed.lineState(), 0x61);
    EXPECT_FALSE(agreed.modemState().has_value());
    EXPECT_TRUE(agreed.flowSuspended());
    EXPECT_TRUE(data.empty());

    Bytes escaped;
    Rfc2217Codec::escape(Bytes{0x7F, IAC, 0x00, IAC}, escaped);
    EXPECT_EQ(escaped, (Bytes{0x7F, IAC, IAC, 0x00, IAC, IAC}));
}

TEST(MbapTest, RequestFrameCarriesTransactionUnitAndLength) {
    Bytes frame;
    EXPECT_EQ(BuildMbapFrame(0x1234, 7, Bytes{0x03, 0x00, 0x00, 0x00, 0x64}, frame), 12u);
    EXPECT_EQ(frame,
              (Bytes{0x12, 0x34, 0x00, 0x00, 0x00, 0x06, 0x07, 0x03, 0x00, 0x00, 0x00, 0x64}));
}

TEST(MbapTest, RepliesAreJudgedByTransactionUnitFunctionAndLength) {
    // Awaited: transaction 0x0102, unit 1, function 3, a read of 2 registers (PDU 6 bytes).
    const Bytes good{0x01, 0x02, 0, 0, 0, 7, 1, 3, 4, 0x00, 0x2A, 0xFF, 0xFE};
    auto with = [&](std::size_t at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    struct Row {
        const char* name;
        Bytes in;
        MbapVerdict verdict;
        std::uint8_t code;
        std::size_t frameBytes;
    };
    const Row rows[] = {
        {"good", good, MbapVerdict::Good, 0, 13},
        {"header not whole", Bytes(good.begin(), good.begin() + 6), MbapVerdict::Incomplete, 0, 0},
        {"PDU not whole", Bytes(good.begin(), good.end() - 1), MbapVerdict::Incomplete, 0, 13},
        {"another transaction", with(1, 0x03), MbapVerdict::WrongTransaction, 0, 13},
        {"another unit", with(6, 2), MbapVerdict::WrongUnit, 0, 13},
        {"another function", with(7, 4), MbapVerdict::WrongFunction, 0, 13},
        {"protocol id not 0", with(3, 1), MbapVerdict::BadHeader, 0, 0},
        {"length 0", with(5, 0), MbapVerdict::BadHeader, 0, 0},
        {"length 1", with(5, 1), MbapVerdict::BadHeader, 0, 0},
        {"length 65535",
         [&] {
             Bytes b = with(4, 0xFF);
             b[5] = 0xFF;
             return b;
         }(),
         MbapVerdict::BadHeader, 0, 0},
        {"length 255", with(5, 0xFF) /* high byte 0 */, MbapVerdict::BadHeader, 0, 0},
        {"shorter frame than a read of 2",
         {0x01, 0x02, 0, 0, 0, 5, 1, 3, 2, 0x00, 0x2A},
         MbapVerdict::BadLength,
         0,
         11},
        {"gateway: path unavailable",
         {0x01, 0x02, 0, 0, 0, 3, 1, 0x83, 0x0A},
         MbapVerdict::Exception,
         0x0A,
         9},
        {"gateway: target failed",
         {0x01, 0x02, 0, 0, 0, 3, 1, 0x83, 0x0B},
         MbapVerdict::Exception,
         0x0B,
         9},
        {"exception with a byte too many",
         {0x01, 0x02, 0, 0, 0, 4, 1, 0x83, 0x0B, 0},
         MbapVerdict::BadLength,
         0,
         10},
        {"function code alone", {0x01, 0x02, 0, 0, 0, 2, 1, 3}, MbapVerdict::BadLength, 0, 8},
        {"good, then more",
         {0x01, 0x02, 0, 0, 0, 7, 1, 3, 4, 0x00, 0x2A, 0xFF, 0xFE, 0},
         MbapVerdict::ExtraBytes,
         0,
         13},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const MbapJudgement j = JudgeMbapReply(row.in, 0x0102, 1, 3, 6);
        EXPECT_EQ(j.verdict, row.verdict);
        EXPECT_EQ(j.exceptionCode, row.code);
        EXPECT_EQ(j.frameBytes, row.frameBytes);
        if (j.verdict == MbapVerdict::Good || j.verdict == MbapVerdict::ExtraBytes) {
            EXPECT_EQ(Bytes(j.pdu.begin(), j.pdu.end()), Bytes(good.begin() + 7, good.end()));
        }
    }
    EXPECT_STREQ(ModbusExceptionText(0x0B), "gateway target device failed to respond");
}

}  // namespace
}  // namespace vr7c::net
