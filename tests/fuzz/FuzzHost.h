#pragma once

#include <memory>

#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "TestLink.h"

// A test link on a fake port and a fake clock, kept for the whole fuzzing run.
struct FuzzHost final {
    FuzzHost() { link.driver.Connect(); }

    // Forgets what the fakes recorded, so that a long run does not grow without end.
    void Forget() {
        port->calls.clear();
        port->writes.clear();
        port->pendingReads.clear();
        clock.sleeps.clear();
    }

    FakeClock clock;
    FakeSerialPortIo* port = nullptr;  // owned by the link's driver
    TestLink link{NewFakePort(port), &clock};
};
