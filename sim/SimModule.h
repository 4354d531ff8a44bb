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

struct ModuleConfig {
    SlaveConfig slave;
    std::uint32_t baud = 57600;  // until the line tells otherwise
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

    // Line side.
    void setBaud(std::uint32_t baud);
    std::uint32_t baud() const { return output_.timing().baud; }
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

    ModuleModel model_;
    FaultInjector faults_;
    LineOutput output_;
    ModbusSlave slave_;
    std::unique_ptr<LineDevice> bootloader_;
    LineOwner owner_ = LineOwner::Application;
};

}  // namespace vr7c::sim
