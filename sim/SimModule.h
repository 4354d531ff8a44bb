#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "FaultInjector.h"
#include "LineDevice.h"
#include "LineOutput.h"
#include "ModbusSlave.h"
#include "ModuleModel.h"

namespace vr7c::sim {

// The module's RS-485 frame formats, as register 95 numbers them.
enum class FrameFormat : std::uint8_t { N81 = 0, O81 = 1, E81 = 2 };

struct ModuleConfig {
    SlaveConfig slave;
    std::uint32_t baud = 57600;  // the module's RS-485 rate
    FrameFormat format = FrameFormat::E81;
    std::uint64_t seed = 1;
};

// The whole simulated VR7C-20NP as seen from its serial line, with no I/O and no clock: feed it
// received bytes and the time, and take the bytes it puts on the line when they are due.
//
// The line belongs to one device at a time: the Modbus slave (the module's firmware), or, once
// installed, the STM32 system bootloader. A lone synchronisation byte 0x7F, received between
// Modbus frames, hands the line to the bootloader; the bootloader hands it back with a
// LineHandover to LineOwner::Application (for instance after its Go command).
class SimModule {
public:
    explicit SimModule(const ModuleConfig& config = {});

    // Line side. The rate the line runs at, as read from it: the module answers only at its
    // own rate. Where it cannot be read, the module's own rate is taken for it.
    void setBaud(std::uint32_t baud);
    // The rate the line is paced at.
    std::uint32_t baud() const { return output_.timing().baud; }
    // The module's own RS-485 settings; a commit (the marker written to register 96) changes
    // them, and the station, once its echo has gone out.
    std::uint32_t rs485Baud() const { return rs485Baud_; }
    FrameFormat frameFormat() const { return format_; }
    // Bytes received together at `now`. Runs advance(now) first.
    void receive(std::span<const std::uint8_t> bytes, Micros now);
    // Lets time run to `now`: frames end, replies are built, the world moves on.
    void advance(Micros now);
    // The next moment at which something happens: a byte is due on the line, a frame ends,
    // the world takes a sample, the bootloader times out.
    std::optional<Micros> deadline() const;
    // Moves the bytes due on the line by `now` to the end of `out`; gives how many.
    std::size_t takeOutput(Micros now, std::vector<std::uint8_t>& out);
    // The listener went away: what was queued for it is lost, half-received input too.
    void lineDropped(Micros now);

    // Parts.
    ModuleModel& model() { return model_; }
    const ModuleModel& model() const { return model_; }
    FaultInjector& faults() { return faults_; }
    const FaultInjector& faults() const { return faults_; }
    ModbusSlave& slave() { return slave_; }
    const ModbusSlave& slave() const { return slave_; }
    LineOutput& output() { return output_; }

    // The bootloader seam: install the device that plays the STM32 system bootloader. Without
    // one, a lone 0x7F is just a frame too short to answer.
    void installBootloader(std::unique_ptr<LineDevice> bootloader);
    LineDevice* bootloader() { return bootloader_.get(); }
    LineOwner owner() const { return owner_; }

private:
    LineDevice& active();
    void applyHandovers(Micros now);
    void applyCommit();
    void retime();

    ModuleModel model_;
    FaultInjector faults_;
    LineOutput output_;
    ModbusSlave slave_;
    std::unique_ptr<LineDevice> bootloader_;
    LineOwner owner_ = LineOwner::Application;
    std::uint32_t rs485Baud_;
    FrameFormat format_;
    std::optional<std::uint32_t> lineBaud_;
};

// The rates register 92 numbers 0 to 3.
inline constexpr std::uint32_t kRs485Rates[] = {9600, 19200, 38400, 57600};

}  // namespace vr7c::sim
