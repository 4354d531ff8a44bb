#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "MODBUS_RTU.h"
#include "RegisterMap.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

// A Modbus master with its driver and register image for tests, fuzzers and benchmarks: the
// station address and the connection mode are fields the caller sets, and each query of them
// is counted.
struct TestLink {
    explicit TestLink(std::unique_ptr<SerialPortIo> port = nullptr, TickClock* clock = nullptr)
        : driver(nullptr, std::move(port), clock),
          master(
              driver, clock != nullptr ? *clock : systemClock(), RegisterImage,
              [this] {
                  ++stationQueries;
                  return station;
              },
              [this] {
                  ++modeQueries;
                  return plcCan;
              }) {}

    std::uint8_t station = 1;
    bool plcCan = false;
    int stationQueries = 0;
    int modeQueries = 0;
    VEVErizEvezad driver;
    RegisterImageWords RegisterImage{};
    RtuMaster master;
};
