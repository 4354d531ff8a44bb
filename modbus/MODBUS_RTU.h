#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "ModbusTcpFrame.h"
#include "RegisterMap.h"
#include "RegisterNumbers.h"

class VEVErizEvezad;
class TickClock;
class TrafficTap;

inline constexpr int kReplyWordsCapacity = 125;
inline constexpr int kPlcCanAddressOffset = Reg::kPlcCanAddressOffset;

// CRC-16/MODBUS over length bytes (sent low byte first).
std::uint16_t Crc16(const std::uint8_t* data, std::uint16_t length);

// Modbus master of one line: read and write-single-register requests over one driver, judged
// straight out of the driver's RxBuffer. Each line has its own master, with its own reply
// state, so that masters on different drivers never share a byte.
//
// Two framings carry the same function 3 and 6 PDUs. On a serial line, or a network line that
// passes the serial bytes on, the frames are Modbus RTU: station, PDU, CRC, judged as the
// module's firmware and the console's peers expect. On a Modbus TCP line (the driver says so)
// they are MBAP frames: a transaction id counted per request, protocol 0, the length, the
// station as unit id, then the PDU; a reply is judged by its transaction id, unit id, function
// and length instead of a CRC, and a complete frame of an earlier transaction is passed over.
// The PLC-CAN offset applies on both.
//
// A write attempt waits for its echo as long as the module has lately taken to answer reads.
// A request that goes out while a read still awaits its reply first has what arrived for that
// read judged, so that each reply and each echo is judged exactly once; on a serial line a
// reply that has begun is let end first, so that its tail never stands in front of the echo.
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
    // The exception code of the last reply judged on a Modbus TCP line (a gateway's 0x0A or
    // 0x0B, or the module's own), 0 when it was none.
    std::uint8_t LastException() const { return lastException_; }

    void SendReadRequest(std::int32_t start, std::int32_t count, std::uint8_t function);
    void CheckReadReply();
    bool TakeReadReply(std::int32_t index);
    bool WriteRegisterOnce(std::int32_t reg, std::int32_t value, std::uint8_t function);
    bool WriteRegister(std::int32_t reg, std::uint16_t value);
    // The caller gives up waiting for the reply to its read request: what arrived is reported,
    // unless a write has already taken the line over from that read and judged it.
    void AbandonReadRequest();
    // How long a write attempt waits for its echo, in pauses of 2 ms: 25 until a read reply
    // has been timed, then the module's measured latency plus the echo's wire time, at most
    // one second.
    int EchoWaitPolls() const;

    // State kept between a read request and its reply.
    std::uint16_t ExpectedBytes = 0;
    bool ReplyOk = false;
    std::uint16_t ReplyWords[kReplyWordsCapacity] = {};

private:
    // Sends the request in the line's framing, remembers what its reply must match and empties
    // RxCount; gives the frame's size. `frame` has room for either framing.
    int SendRequest(std::uint8_t (&frame)[12], std::uint8_t function, std::int32_t first,
                    std::int32_t second);
    // Modbus TCP: drops whole frames of earlier transactions from the front of what arrived,
    // then judges the rest as the reply to the last request, whose PDU is replyPduBytes long;
    // a good reply's PDU goes to pdu.
    vr7c::net::MbapVerdict JudgeMbap(std::size_t replyPduBytes,
                                     std::span<const std::uint8_t>* pdu = nullptr);

    // A request goes out while a read still awaits its reply: what has arrived for the read is
    // taken in and judged now, since the new request discards it. Gives the bytes of a reply
    // that has begun on a serial line and is still to come.
    int JudgeSupersededRead();
    // A complete reply to the read request arrived: its latency is remembered.
    void ReadAnswered();
    // Bytes of a good read reply on a serial line: station, function, byte count, the words
    // asked for and the CRC.
    int RtuReplyBytes() const { return ExpectedBytes + 5; }
    // On a serial line: RxBuffer holds at least the whole reply and its CRC is right.
    bool RtuReplyComplete() const;

    void ReportReply(bool taken);
    void ReportWrite(int attempts, bool written);
    void ReportSent(const std::uint8_t* frame, int count);

    VEVErizEvezad& driver_;
    TickClock& clock_;
    RegisterImageWords& image_;
    StationSource station_;
    PlcCanSource plcCan_;
    TrafficTap* tap_ = nullptr;
    // The request on a Modbus TCP line: its transaction id, unit id and function.
    std::uint16_t transaction_ = 0;
    std::uint8_t requestUnit_ = 0;
    std::uint8_t requestFunction_ = 0;
    std::uint8_t lastException_ = 0;
    // The read request still awaiting its reply, and when it went out.
    bool readAwaited_ = false;
    std::uint32_t readSentMs_ = 0;
    // The module's latency in the last few read replies (ms), newest at latencyNext_ - 1.
    static constexpr int kLatencyMemory = 8;
    std::uint32_t latencies_[kLatencyMemory] = {};
    int latencyCount_ = 0;
    int latencyNext_ = 0;
};
