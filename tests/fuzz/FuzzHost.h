#pragma once

#include <memory>

#include "DriverOnFake.h"
#include "MODBUS_RTU.h"

// A Modbus host on a fake port and a fake clock, kept for the whole fuzzing run.
struct FuzzHost final : ModbusHost {
    FuzzHost() {
        rig.driver->Connect();
        SetModbusHost(this);
    }
    VEVErizEvezad& ComDriver() override { return *rig.driver; }
    std::uint8_t StationAddress() override { return station; }
    bool PlcCanMode() override { return plcCan; }
    TickClock& Clock() override { return rig.clock; }

    // Forgets what the fakes recorded, so that a long run does not grow without end.
    void Forget() {
        rig.port->calls.clear();
        rig.port->writes.clear();
        rig.port->pendingReads.clear();
        rig.clock.sleeps.clear();
    }

    DriverOnFake rig;
    std::uint8_t station = 1;
    bool plcCan = false;
};
