#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "ModbusLink.h"

// The console's Modbus link for tests, fuzzers and benchmarks: the station address and the
// connection mode are fields the caller sets, and each query of them is counted. The link is
// the routines' host while this object lives.
struct TestLink {
    explicit TestLink(std::unique_ptr<SerialPortIo> port = nullptr, TickClock* clock = nullptr)
        : link(
              [this] {
                  ++stationQueries;
                  return station;
              },
              [this] {
                  ++modeQueries;
                  return plcCan;
              },
              std::move(port), clock) {}

    std::uint8_t station = 1;
    bool plcCan = false;
    int stationQueries = 0;
    int modeQueries = 0;
    ModbusLink link;
    VEVErizEvezad& driver = link.ComDriver();
    ModbusHostGuard installed{link};
};
