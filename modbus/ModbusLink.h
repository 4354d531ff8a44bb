#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "MODBUS_RTU.h"
#include "ZQ_ComDrv.h"

class QObject;
class SerialPortIo;
class TickClock;

// The Modbus routines' host for a window or a program: it owns the serial driver, holds the
// clock the write wait pauses with, and asks for the station address and the connection mode
// at the moment of each request, so that they are read from wherever the operator sets them.
class ModbusLink final : public ModbusHost {
public:
    using StationSource = std::function<std::uint8_t()>;
    using PlcCanSource = std::function<bool()>;

    // Without a port the driver uses the real serial port; without a clock, the system clock.
    ModbusLink(StationSource station, PlcCanSource plcCan,
               std::unique_ptr<SerialPortIo> port = nullptr, TickClock* clock = nullptr,
               QObject* owner = nullptr);

    VEVErizEvezad& ComDriver() override { return driver_; }
    std::uint8_t StationAddress() override { return station_(); }
    bool PlcCanMode() override { return plcCan_(); }
    TickClock& Clock() override { return clock_; }

private:
    StationSource station_;
    PlcCanSource plcCan_;
    TickClock& clock_;
    VEVErizEvezad driver_;
};

// Installs a host for the routines while it lives and then puts back the host it found.
// Guards may end in any order: one that ends while a later one is installed hands its
// predecessor on to that later guard, so no guard ever puts back a host that has gone.
class ModbusHostGuard {
public:
    explicit ModbusHostGuard(ModbusHost& host);
    ~ModbusHostGuard();

    ModbusHostGuard(const ModbusHostGuard&) = delete;
    ModbusHostGuard& operator=(const ModbusHostGuard&) = delete;

private:
    ModbusHost* previous_;
    ModbusHostGuard* outer_;  // the guard that was innermost when this one started
};
