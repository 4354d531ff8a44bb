#pragma once

#include <memory>

#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "ZQ_ComDrv.h"

// A driver wired to a fake port and a fake clock; the fake stays reachable through `port`.
struct DriverOnFake {
    FakeClock clock;
    FakeSerialPortIo* port = nullptr;
    std::unique_ptr<VEVErizEvezad> driver;

    DriverOnFake() {
        auto fake = std::make_unique<FakeSerialPortIo>();
        port = fake.get();
        driver = std::make_unique<VEVErizEvezad>(nullptr, std::move(fake), &clock);
    }
};
