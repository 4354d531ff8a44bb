#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "FaultInjector.h"
#include "LineDevice.h"
#include "ModuleModel.h"
#include "RtuFramer.h"

namespace vr7c::sim {

inline constexpr std::uint16_t kPlcCanAddressBase = 2200;
inline constexpr std::uint8_t kBootloaderSync = 0x7F;

namespace modbus {
inline constexpr std::uint8_t kReadHoldingRegisters = 0x03;
inline constexpr std::uint8_t kWriteSingleRegister = 0x06;
inline constexpr std::uint8_t kExceptionFlag = 0x80;
inline constexpr std::uint8_t kIllegalFunction = 0x01;
inline constexpr std::uint8_t kIllegalDataAddress = 0x02;
inline constexpr std::uint8_t kIllegalDataValue = 0x03;
inline constexpr std::uint8_t kServerDeviceFailure = 0x04;
inline constexpr std::uint8_t kBroadcastAddress = 0;
inline constexpr int kMaxReadCount = 125;
}  // namespace modbus

struct SlaveConfig {
    std::uint8_t station = 1;
    // Bridge mode: the PLC of connection mode "PLC-CAN" answers for the module, with the
    // registers at addresses 2200 to 2299 instead of 0 to 99.
    bool plcCan = false;
    // From the moment the request's end is recognised (3.5 characters of silence) to the
    // start of the reply.
    Micros latency = 2 * kMicrosPerMilli;
    // Fault details.
    Micros slowDelay = 200 * kMicrosPerMilli;
    Micros splitGapMin = 20 * kMicrosPerMilli;
    Micros splitGapMax = 80 * kMicrosPerMilli;
    int partialEchoBytes = 5;
    std::uint8_t exceptionCode = modbus::kServerDeviceFailure;
    // Writes to this register (0 to 99) are not heard at all, every time; -1: none. Lets a test
    // fail one chosen write of a sequence.
    int unheardWriteRegister = -1;
};

// What the slave has seen and done.
struct SlaveCounters {
    std::uint64_t bytesReceived = 0;
    std::uint64_t framesReceived = 0;      // every frame the line delimited
    std::uint64_t badFrames = 0;           // too short, overrun or wrong CRC: ignored
    std::uint64_t otherStationFrames = 0;  // good CRC, not for this station: ignored
    std::uint64_t requestsSeen = 0;        // good CRC and for this station (or broadcast)
    std::uint64_t readRequests = 0;
    std::uint64_t writeRequests = 0;
    std::uint64_t writesApplied = 0;
    std::uint64_t exceptionReplies = 0;  // standard exceptions (not the injected ones)
    std::uint64_t repliesSent = 0;       // replies put on the line, faulty ones included
    std::uint64_t bytesSent = 0;
};

// A register write the slave carried out.
struct RegisterWrite {
    int reg = 0;  // register number 0 to 99 (without the bridge offset)
    std::uint16_t value = 0;
    Micros at = 0;
};

// A read reply as the slave built it, and whether it reached the line intact. Register 97 of
// the image is the reply's sequence number.
struct SentReadReply {
    std::array<std::uint16_t, kModuleRegisterCount> image{};
    bool intact = true;  // false: dropped, cut short, or sent with a wrong CRC or noise before it
};

// The module's firmware as seen from the line: a Modbus RTU slave for functions 3 and 6 over
// registers 0 to 99 (2200 to 2299 in bridge mode), with fault injection.
//
// With sync detection on (a bootloader is installed), a frame that is the lone byte 0x7F asks
// the module to hand the line to the bootloader.
class ModbusSlave final : public LineDevice {
public:
    ModbusSlave(ModuleModel& model, FaultInjector& faults, SlaveConfig config = {});

    SlaveConfig& config() { return config_; }
    const SlaveConfig& config() const { return config_; }
    void setSyncDetection(bool on) { syncDetection_ = on; }
    // The line runs at another rate than the module's own: every frame arrives garbled and is
    // not answered (a lone synchronisation byte still wakes the bootloader, which finds its
    // rate from it).
    void setDeaf(bool deaf) { deaf_ = deaf; }

    void reset(Micros now) override;
    void receive(std::uint8_t byte, Micros now, LineOutput& out) override;
    void advance(Micros now, LineOutput& out) override;
    std::optional<Micros> deadline() const override;
    std::optional<LineHandover> takeHandover() override;
    void lineDropped(Micros now) override { reset(now); }

    // The normal reply to a complete frame (CRC included), or nothing when a real slave stays
    // silent (bad CRC, other station, broadcast). Carries out writes (and logs them) and counts
    // read replies in register 97, but injects no faults and keeps no other counters.
    std::optional<std::vector<std::uint8_t>> respond(std::span<const std::uint8_t> frame,
                                                     Micros now);

    const SlaveCounters& counters() const { return counters_; }
    // The registers as they stood when the latest read reply was built (sequence included).
    const std::array<std::uint16_t, kModuleRegisterCount>& lastReadImage() const {
        return lastReadImage_;
    }
    const std::vector<RegisterWrite>& writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }
    // The latest read reply with this sequence number among the last few thousand sent.
    std::optional<SentReadReply> sentReadReply(std::uint16_t sequence) const;

private:
    void handleFrame(const RtuFrame& frame, Micros now, LineOutput& out);
    std::vector<std::uint8_t> exceptionReply(std::uint8_t station, std::uint8_t function,
                                             std::uint8_t code);
    // Puts a reply on the line with the faults that fall on it; gives whether its own bytes went
    // out unchanged (split or late replies, or noise after them, count as unchanged).
    bool transmit(std::vector<std::uint8_t> reply, bool isWrite, Micros start, LineOutput& out);
    void recordReadReply(bool intact);
    std::uint16_t addressBase() const { return config_.plcCan ? kPlcCanAddressBase : 0; }

    ModuleModel& model_;
    FaultInjector& faults_;
    SlaveConfig config_;
    RtuFramer framer_;
    Micros silence_ = LineTiming{}.frameSilence();
    bool syncDetection_ = false;
    bool deaf_ = false;
    std::optional<LineHandover> handover_;
    SlaveCounters counters_;
    std::array<std::uint16_t, kModuleRegisterCount> lastReadImage_{};
    std::vector<RegisterWrite> writes_;
    std::vector<SentReadReply> sentReadReplies_;  // a ring, oldest overwritten
    std::size_t nextSentReadReply_ = 0;
};

}  // namespace vr7c::sim
