#pragma once

#include <cstdint>
#include <functional>

#include "RegisterMap.h"
#include "RegisterNumbers.h"

class VEVErizEvezad;
class TickClock;
class TrafficTap;

inline constexpr int kReplyWordsCapacity = 125;
inline constexpr int kPlcCanAddressOffset = Reg::kPlcCanAddressOffset;

// CRC-16/MODBUS over length bytes (sent low byte first).
std::uint16_t Crc16(const std::uint8_t* data, std::uint16_t length);

// Modbus RTU master of one line: read and write-single-register requests over one driver,
// judged straight out of the driver's RxBuffer. Each line has its own master, with its own
// reply state, so that masters on different drivers never share a byte.
class RtuMaster {
public:
    // Asked at the moment of each request: the station address put into it, and whether the
    // connection mode is "PLC-CAN" (2200 added to every address on the wire).
    using StationSource = std::function<std::uint8_t()>;
    using PlcCanSource = std::function<bool()>;

    // Good read replies are copied into image. The driver, the clock and the image must
    // outlive the master.
    RtuMaster(VEVErizEvezad& driver, TickClock& clock, RegisterImageWords& image,
              StationSource station, PlcCanSource plcCan);

    RtuMaster(const RtuMaster&) = delete;
    RtuMaster& operator=(const RtuMaster&) = delete;

    VEVErizEvezad& ComDriver() const { return driver_; }
    TickClock& Clock() const { return clock_; }
    // Where the frames sent and the replies judged are reported (null: nowhere).
    void SetTrafficTap(TrafficTap* tap) { tap_ = tap; }

    void SendReadRequest(std::int32_t start, std::int32_t count, std::uint8_t function);
    void CheckReadReply();
    bool TakeReadReply(std::int32_t index);
    bool WriteRegisterOnce(std::int32_t reg, std::int32_t value, std::uint8_t function);
    bool WriteRegister(std::int32_t reg, std::uint16_t value);
    // The caller gives up waiting for the reply to its read request: what arrived is reported.
    void AbandonReadRequest();

    // State kept between a read request and its reply.
    std::uint16_t ExpectedBytes = 0;
    bool ReplyOk = false;
    std::uint16_t ReplyWords[kReplyWordsCapacity] = {};

private:
    void ReportReply(bool taken);
    void ReportWrite(int attempts, bool written);
    void ReportSent(const std::uint8_t* frame, int count);

    VEVErizEvezad& driver_;
    TickClock& clock_;
    RegisterImageWords& image_;
    StationSource station_;
    PlcCanSource plcCan_;
    TrafficTap* tap_ = nullptr;
};
