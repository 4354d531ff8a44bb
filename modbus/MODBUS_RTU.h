#pragma once

#include <cstdint>

#include "RegisterNumbers.h"

class VEVErizEvezad;
class TickClock;
class TrafficTap;

// Modbus RTU master: read and write-single-register requests over the main window's driver,
// judged straight out of the driver's RxBuffer. Plain routines with program-wide state.

// What the routines take from the console at the moment of each call.
class ModbusHost {
public:
    virtual ~ModbusHost() = default;
    virtual VEVErizEvezad& ComDriver() = 0;
    // Station address put into every request (the index of the address list).
    virtual std::uint8_t StationAddress() = 0;
    // True in connection mode "PLC-CAN": 2200 is added to every address on the wire.
    virtual bool PlcCanMode() = 0;
    // Clock for the pauses of the write wait.
    virtual TickClock& Clock() = 0;
};

// Installs the host the routines use and gives the one installed before; the host must
// outlive every call. ModbusHostGuard (ModbusLink.h) installs one for a scope.
ModbusHost* SetModbusHost(ModbusHost* host);
// Installs where the frames sent and the replies judged are reported (null: nowhere).
void SetModbusTrafficTap(TrafficTap* tap);

inline constexpr int kReplyWordsCapacity = 125;
inline constexpr int kPlcCanAddressOffset = Reg::kPlcCanAddressOffset;

// State kept between a read request and its reply.
extern std::uint16_t ExpectedBytes;
extern bool ReplyOk;
extern std::uint16_t ReplyWords[kReplyWordsCapacity];

// CRC-16/MODBUS over length bytes (sent low byte first).
std::uint16_t Crc16(const std::uint8_t* data, std::uint16_t length);

void SendReadRequest(std::int32_t start, std::int32_t count, std::uint8_t function);
void CheckReadReply();
bool TakeReadReply(std::int32_t index);
bool WriteRegisterOnce(std::int32_t reg, std::int32_t value, std::uint8_t function);
bool WriteRegister(std::int32_t reg, std::uint16_t value);
// The caller gives up waiting for the reply to its read request: what arrived is reported.
void AbandonReadRequest();
