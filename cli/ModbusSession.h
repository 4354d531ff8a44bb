#pragma once

#include <array>
#include <memory>

#include "CliOptions.h"
#include "ComTypes.h"
#include "ExitCode.h"
#include "LinePort.h"
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
    Outcome ReadConfig(std::array<std::uint16_t, kConfigReadCount>& regs);
    // Writes the profile's registers in the console's order, then reads the block back and
    // compares. `written` counts the registers written.
    Outcome ApplyProfile(const Profile& profile, int& written);

    const CliOptions& options;
    PortChoice port;
    VEVErizEvezad driver;
    RegisterAccess link;
};
