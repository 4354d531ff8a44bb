// The master on a Modbus TCP line: the same requests in MBAP frames, replies judged by
// transaction id, unit id, function and length.

#include "ModbusTcpFrame.h"
#include "ModbusTestSupport.h"

namespace {

// An MBAP frame around pdu.
Bytes Mbap(std::uint16_t transaction, std::uint8_t unit, const Bytes& pdu) {
    Bytes frame;
    vr7c::net::BuildMbapFrame(transaction, unit, pdu, frame);
    return frame;
}

const Bytes kFour = {3, 8, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x44, 0x44};  // read of 4
const Bytes kGood = Mbap(1, 1, kFour);

struct TcpReadCase {
    const char* name;
    std::vector<Bytes> arrivals;  // the reply to transaction 1, unit 1
    bool taken;
    std::uint8_t exception;
};

class ModbusTcp : public ModbusTest, public ::testing::WithParamInterface<TcpReadCase> {
protected:
    void SetUp() override {
        port->modbusTcp = true;
        ModbusTest::SetUp();
    }
};

}  // namespace

TEST_F(ModbusTcp, RequestsAreMbapFramesWithACountedTransactionAndTheStationAsUnit) {
    SendReadRequest(0, 100, 3);
    EXPECT_EQ(LastFrame(), (Bytes{0, 1, 0, 0, 0, 6, 1, 3, 0x00, 0x00, 0x00, 0x64}));
    host.station = 7;
    host.plcCan = true;
    WriteRegisterOnce(11, 43690, 6);
    EXPECT_EQ(LastFrame(), (Bytes{0, 2, 0, 0, 0, 6, 7, 6, 0x08, 0xA3, 0xAA, 0xAA}));
    // A write is taken on the whole echo; a gateway exception fails all six attempts.
    AnswerWrites([](const Bytes& request) { return request; });
    EXPECT_TRUE(WriteRegister(30, 0x1234));
    AnswerWrites([](const Bytes& request) {
        return Mbap(static_cast<std::uint16_t>(request[0] << 8 | request[1]), 7, {0x86, 0x0A});
    });
    EXPECT_FALSE(WriteRegister(30, 0x1234));
    EXPECT_EQ(master.LastException(), 0x0A);
    EXPECT_EQ(port->writes.size(), 9u);
}

TEST_P(ModbusTcp, ReplyIsJudgedByTransactionUnitFunctionAndLength) {
    const TcpReadCase& c = GetParam();
    SendReadRequest(0, 4, 3);
    bool taken = false;
    for (const Bytes& bytes : c.arrivals) {
        EXPECT_FALSE(taken) << "taken before the last piece";
        Arrive(bytes);
        taken = TakeReadReply(0);
    }
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(RegisterImage[3], c.taken ? 0x4444 : 0);
    EXPECT_EQ(master.LastException(), c.exception);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ModbusTcp,
    ::testing::Values(
        TcpReadCase{"Whole", {kGood}, true, 0},
        TcpReadCase{
            "InPieces",
            {Bytes(kGood.begin(), kGood.begin() + 5), Bytes(kGood.begin() + 5, kGood.end())},
            true,
            0},
        TcpReadCase{"LateReplyFirst", {Mbap(0, 1, kFour), kGood}, true, 0},
        TcpReadCase{"OtherUnit", {Mbap(1, 2, kFour)}, false, 0},
        TcpReadCase{"ShortPdu", {Mbap(1, 1, Bytes(kFour.begin(), kFour.end() - 2))}, false, 0},
        TcpReadCase{"LengthZero", {Bytes{0, 1, 0, 0, 0, 0, 1}}, false, 0},
        TcpReadCase{"Length65535", {Bytes{0, 1, 0, 0, 0xFF, 0xFF, 1, 3}}, false, 0},
        TcpReadCase{"GatewayTargetFailed", {Mbap(1, 1, {0x83, 0x0B})}, false, 0x0B}),
    [](const auto& p) { return std::string(p.param.name); });
