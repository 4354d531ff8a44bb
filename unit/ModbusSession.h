#pragma once

#include <array>
#include <memory>
#include <vector>

#include "ComTypes.h"
#include "ExitCode.h"
#include "LineOptions.h"
#include "LinePort.h"
#include "LinePortIo.h"
#include "Profile.h"
#include "RegisterAccess.h"
#include "ZQ_ComDrv.h"

// A port opened for Modbus at the options' station, baud rate and mode (8E1 unless told).
class ModbusSession {
public:
    explicit ModbusSession(const LineOptions& options);

    Outcome Open(std::uint32_t baud, TComPortParity parity = ptEVEN);
    void Close() { driver.Disconnect(); }

    // The line the module answers on: as opened, or as a committed profile moved it.
    std::uint8_t station() { return link.StationAddress(); }
    std::uint32_t baud() const { return baud_; }
    TComPortParity parity() const { return parity_; }

    // Registers 84 to 95.
    Outcome ReadConfig(ConfigBlock::ReadWords& regs);
    // Writes the profile's registers in the console's order, the commit marker last, then
    // reads the block back and compares. Once the commit marker is written, a profile that
    // changes the station, the RS-485 rate or its format is followed there: the module answers
    // at its new address and rate from then on, so the read-back and all later requests go
    // there. `written` lists the registers written; a write that
    // fails ends the sequence, and its message says which were written and which not.
    Outcome ApplyProfile(const Profile& profile, std::vector<int>& written);

    const LineOptions& options;
    PortChoice port;
    VEVErizEvezad driver{nullptr, std::make_unique<vr7c::net::LinePortIo>()};
    RegisterAccess link;

private:
    Outcome FollowLine(const Profile& profile);

    std::uint32_t baud_ = 0;
    TComPortParity parity_ = ptEVEN;
};
