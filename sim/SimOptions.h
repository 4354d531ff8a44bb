#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FaultInjector.h"
#include "LineDevice.h"
#include "SimModule.h"
#include "SimTime.h"
#include "Stm32Bootloader.h"
#include "TcpListener.h"

namespace vr7c::sim {

struct FaultSetting {
    FaultKind kind = FaultKind::Drop;
    double percent = 100.0;
};

// Everything the simulator can be told at start, from the command line or from a test.
struct SimOptions {
    std::string device;  // a serial device to use; empty: create a pseudo-terminal
    std::string link;    // symbolic link to make to the pseudo-terminal (or device); empty: none
    std::uint8_t station = 1;
    bool plcCan = false;
    // Pacing baud rate when the line's own setting cannot be read; also set on a new
    // pseudo-terminal and on a device.
    std::uint32_t baud = 57600;
    Micros latency = 2 * kMicrosPerMilli;
    std::vector<std::pair<int, std::uint16_t>> presets;  // held register values
    std::vector<FaultSetting> faults;
    std::uint64_t seed = 1;
    // The chip's unique ID; empty: one of its own derived from the seed.
    std::optional<ChipUid> uid;
    Micros splitGapMin = 20 * kMicrosPerMilli;
    Micros splitGapMax = 80 * kMicrosPerMilli;
    Micros slowDelay = 200 * kMicrosPerMilli;
    int partialEchoBytes = 5;
    std::uint8_t exceptionCode = 4;
    bool frozen = false;                               // the measured values stand still
    std::vector<std::pair<int, ChannelInput>> inputs;  // --input
    // Also reachable over TCP: raw RTU bytes as through a serial server, or as a Modbus TCP
    // gateway (unit id = the station). Loopback only unless allowRemote.
    std::optional<ListenAddress> tcp;
    std::optional<ListenAddress> modbusTcp;
    bool allowRemote = false;
    // Makes the STM32 bootloader device, if any (installed when the simulator starts).
    std::function<std::unique_ptr<LineDevice>()> bootloaderFactory;

    // The pure module these options describe (presets, faults and bootloader applied).
    std::unique_ptr<SimModule> makeModule() const;
    ChipUid chipUid() const;
};

struct CommandLine {
    SimOptions options;
    bool help = false;
    std::string error;  // non-empty: the arguments are invalid
};

// Parses the program's arguments (without the program name).
CommandLine parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

}  // namespace vr7c::sim
