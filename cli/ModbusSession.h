#pragma once

#include <array>
#include <memory>
#include <vector>

#include "CliOptions.h"
#include "ComTypes.h"
#include "ExitCode.h"
#include "LinePort.h"
#include "LinePortIo.h"
#include "Profile.h"
#include "RegisterAccess.h"
#include "ZQ_ComDrv.h"

// A port opened for Modbus at the options' station, baud rate and mode (8E1 unless told).
class ModbusSession {
public:
    explicit ModbusSession(const CliOptions& options);

    Outcome Open(std::uint32_t baud, TComPortParity parity = ptEVEN);
    void Close() { driver.Disconnect(); }

    // Registers 84 to 95.
    Outcome ReadConfig(ConfigBlock::ReadWords& regs);
    // Writes the profile's registers in the console's order, the commit marker last, then
    // reads the block back and compares. `written` lists the registers written; a write that
    // fails ends the sequence, and its message says which were written and which not.
    Outcome ApplyProfile(const Profile& profile, std::vector<int>& written);

    const CliOptions& options;
    PortChoice port;
    VEVErizEvezad driver{nullptr, std::make_unique<vr7c::net::LinePortIo>()};
    RegisterAccess link;
};
