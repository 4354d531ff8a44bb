#pragma once

#include <cstdint>

#include "ExitCode.h"
#include "MODBUS_RTU.h"
#include "ModbusLink.h"

class VEVErizEvezad;
class TickClock;

// Reads and writes registers of one module through the console's Modbus routines, waiting on
// the line for each reply. Installs itself as the routines' host while it exists.
class RegisterAccess final : public ModbusHost {
public:
    // Registers a read may cover: the console's poll range.
    static constexpr int kReadableRegisters = 100;

    RegisterAccess(VEVErizEvezad& driver, TickClock& clock, std::uint8_t station, bool plcCan);
    ~RegisterAccess() override;
    RegisterAccess(const RegisterAccess&) = delete;
    RegisterAccess& operator=(const RegisterAccess&) = delete;

    VEVErizEvezad& ComDriver() override { return driver_; }
    std::uint8_t StationAddress() override { return station_; }
    bool PlcCanMode() override { return plcCan_; }
    TickClock& Clock() override { return clock_; }

    void SetStation(std::uint8_t station) { station_ = station; }
    void SetPlcCan(bool on) { plcCan_ = on; }

    // Registers first .. first + count - 1 (inside 0 to 99) into out.
    Outcome Read(int first, int count, std::uint32_t timeoutMs, std::uint16_t* out);
    // One register with the console's write (echo check, six attempts).
    Outcome Write(int reg, std::uint16_t value);

private:
    bool ExceptionReply(std::uint8_t function, int& code) const;

    VEVErizEvezad& driver_;
    TickClock& clock_;
    std::uint8_t station_;
    bool plcCan_;
    // The routines use this object while it lives.
    ModbusHostGuard installed_{*this};
};
