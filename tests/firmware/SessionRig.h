#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BootloaderSession.h"
#include "FakeBootloaderView.h"
#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "LineOutput.h"
#include "Stm32Bootloader.h"
#include "ZQ_ComDrv.h"

// A bootloader session on a fake port and a fake clock, in simulated time. Optionally the fake
// port is wired to the simulated STM32 bootloader, whose paced answers arrive as the driver
// would read them; the rig then plays the driver's 5 ms poll, Timer5 every 3 ms and the
// watchdog every second, each at its due time.
class SessionRig {
public:
    SessionRig();

    // Answers the session's bytes with the simulated bootloader.
    void AttachBootloader(vr7c::sim::Stm32BootloaderFaults faults = {});

    // The start button.
    void Press();
    // Runs simulated time forward in 1 ms steps, playing every timer that is due.
    void RunFor(std::uint32_t milliseconds);
    // Runs until the session is idle again (both timers stopped) or the limit is reached.
    void RunUntilIdle(std::uint32_t limitMs = 120'000);

    // Feeds bytes as one read, lets the driver take them, then plays one Timer5 tick.
    void Reply(const std::vector<std::uint8_t>& bytes);
    // The bytes of the last write call.
    const std::vector<std::uint8_t>& LastWrite() const { return port->writes.back(); }
    // Everything written since the given write call, concatenated.
    std::vector<std::uint8_t> WrittenSince(std::size_t firstWrite) const;

    bool Idle() const { return !session->Timer5.isActive() && !session->OvertimeT.isActive(); }

    FakeClock clock;
    FakeSerialPortIo* port = nullptr;
    std::unique_ptr<VEVErizEvezad> driver;
    FakeBootloaderView view;
    std::unique_ptr<BootloaderSession> session;
    std::unique_ptr<vr7c::sim::Stm32Bootloader> bootloader;
    vr7c::sim::LineOutput line{vr7c::sim::LineTiming{115200, 11}};

private:
    vr7c::sim::Micros NowMicros() const {
        return static_cast<vr7c::sim::Micros>(clock.now) * vr7c::sim::kMicrosPerMilli;
    }
    void DeliverDueBytes();
    void NoteWatchdogRestart();

    std::uint32_t nextPoll_ = 0;
    std::uint32_t nextStep_ = 0;
    std::uint32_t nextWatchdog_ = 0;
    bool watchdogWasActive_ = false;
};
