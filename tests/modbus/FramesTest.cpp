// Known-good frames and values, table-driven.

#include <cstring>
#include <functional>
#include <string>

#include "ModbusTestSupport.h"

namespace {

struct FrameCase {
    std::string name;
    std::function<Bytes(ModbusTest&)> produce;  // the bytes under test
    Bytes expected;
};

Bytes CrcBytes(std::uint16_t crc) {
    return {static_cast<std::uint8_t>(crc & 0xFFu), static_cast<std::uint8_t>(crc >> 8)};
}

}  // namespace

class ModbusFrames : public ModbusTest {
public:
    // Sends a read request with the given host settings and gives the bytes written.
    Bytes Read(std::uint8_t station, bool plcCan, std::int32_t start, std::int32_t count,
               std::uint8_t function = 3) {
        host.station = station;
        host.plcCan = plcCan;
        SendReadRequest(start, count, function);
        return LastFrame();
    }
    // One write attempt (nothing answers) and the bytes written.
    Bytes Write(std::uint8_t station, bool plcCan, std::int32_t reg, std::int32_t value) {
        host.station = station;
        host.plcCan = plcCan;
        WriteRegisterOnce(reg, value, 6);
        return LastFrame();
    }
};

TEST_F(ModbusFrames, KnownGoodFramesAndValues) {
    const std::vector<FrameCase> cases = {
        {"CRC check value 0x4B37 over \"123456789\" (low byte first)",
         [](ModbusTest&) {
             const char* text = "123456789";
             return CrcBytes(Crc16(reinterpret_cast<const std::uint8_t*>(text),
                                   static_cast<std::uint16_t>(std::strlen(text))));
         },
         {0x37, 0x4B}},
        {"CRC of one byte 0x01",
         [](ModbusTest&) {
             const std::uint8_t one = 0x01;
             return CrcBytes(Crc16(&one, 1));
         },
         CrcBytes(ReferenceCrc(Bytes{0x01}.data(), 1))},
        {"read 0..99, PC-UART, station 1",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Read(1, false, 0, 100); },
         {0x01, 0x03, 0x00, 0x00, 0x00, 0x64, 0x44, 0x21}},
        {"read 0..99, PLC-CAN, station 1 (addresses 2200..2299)",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Read(1, true, 0, 100); },
         {0x01, 0x03, 0x08, 0x98, 0x00, 0x64, 0xC7, 0xAE}},
        {"write register 11 = 43690, PLC-CAN, station 1 (address 2211)",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Write(1, true, 11, 43690); },
         {0x01, 0x06, 0x08, 0xA3, 0xAA, 0xAA, 0x85, 0x57}},
        {"write register -1, PC-UART: address 00 FF (quotient toward zero)",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Write(1, false, -1, 0); },
         {0x01, 0x06, 0x00, 0xFF, 0x00, 0x00, 0xB9, 0xFA}},
        {"write register 70000, PC-UART: address 11 70",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Write(1, false, 70000, 0); },
         {0x01, 0x06, 0x11, 0x70, 0x00, 0x00, 0x8D, 0x2D}},
        {"write value -1: value 00 FF",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Write(1, false, 30, -1); },
         {0x01, 0x06, 0x00, 0x1E, 0x00, 0xFF, 0xA9, 0x8C}},
        {"write register -300, value -70000: FF D4 EF 90",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Write(1, false, -300, -70000); },
         {0x01, 0x06, 0xFF, 0xD4, 0xEF, 0x90, 0xB5, 0xBA}},
        {"station 0 is sent like any other address",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Read(0, false, 0, 100); },
         {0x00, 0x03, 0x00, 0x00, 0x00, 0x64, 0x45, 0xF0}},
        {"station 16, PLC-CAN, write register 30 = 65535 (address 2230)",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Write(16, true, 30, 65535); },
         {0x10, 0x06, 0x08, 0xB6, 0xFF, 0xFF, 0x68, 0xBD}},
        {"read count 70000 keeps its low 16 bits: 11 70",
         [](ModbusTest& t) { return static_cast<ModbusFrames&>(t).Read(1, false, 0, 70000); },
         {0x01, 0x03, 0x00, 0x00, 0x11, 0x70, 0x48, 0x7E}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.produce(*this), c.expected);
    }
}

TEST_F(ModbusFrames, EveryRequestIsOneEightByteWrite) {
    SendReadRequest(0, 100, 3);
    WriteRegisterOnce(30, 250, 6);
    ASSERT_EQ(port->writes.size(), 2u);
    EXPECT_EQ(port->writes[0].size(), 8u);
    EXPECT_EQ(port->writes[1].size(), 8u);
}

TEST_F(ModbusFrames, FunctionByteIsPassedThrough) {
    EXPECT_EQ(Read(1, false, 0, 100, 4)[1], 0x04);
    WriteRegisterOnce(1, 2, 0x10);
    EXPECT_EQ(LastFrame()[1], 0x10);
    EXPECT_EQ(LastFrame(), WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x02}));
}

TEST_F(ModbusFrames, CrcOfEveryRequestCoversTheFirstSixBytes) {
    for (std::int32_t reg : {0, 1, 255, 256, 2299, 65535, 65536, -2, -256, -257}) {
        Read(3, reg % 2 == 0, reg, reg + 5);
        const Bytes frame = LastFrame();
        ASSERT_EQ(frame.size(), 8u);
        EXPECT_EQ(CrcBytes(Crc16(frame.data(), 6)), Bytes(frame.begin() + 6, frame.end()));
        EXPECT_EQ(CrcBytes(ReferenceCrc(frame.data(), 6)), Bytes(frame.begin() + 6, frame.end()));
    }
}

TEST_F(ModbusFrames, ReadRequestSetsExpectedBytesAndEmptiesRxCount) {
    SetRx({1, 2, 3, 4, 5});
    SendReadRequest(0, 100, 3);
    EXPECT_EQ(ExpectedBytes, 200);
    EXPECT_EQ(driver->RxCount, 0);
    SendReadRequest(0, 7, 3);
    EXPECT_EQ(ExpectedBytes, 14);
}

TEST_F(ModbusFrames, ClosedDriverSendsNothingAndWritesFail) {
    driver->Disconnect();
    SendReadRequest(0, 100, 3);
    EXPECT_TRUE(port->writes.empty());
    EXPECT_FALSE(TakeReadReply(0));
    EXPECT_FALSE(WriteRegister(30, 1));
    EXPECT_TRUE(port->writes.empty());
    EXPECT_EQ(clock.totalSlept(), 900u);
}
