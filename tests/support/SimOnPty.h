#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimOptions.h"
#include "SimRunner.h"
#include "Stm32Bootloader.h"

// The simulated module on a pseudo-terminal of its own, started for one test: what every test
// that needs a module on a real serial device (console, command line, integration) runs. A
// failed start is reported as a test failure; started() tells the test whether to go on.
class SimOnPty {
public:
    explicit SimOnPty(vr7c::sim::SimOptions options = {});
    // The options with the STM32 bootloader in the module, answering with the given faults.
    static vr7c::sim::SimOptions WithBootloader(vr7c::sim::SimOptions options = {},
                                                vr7c::sim::Stm32BootloaderFaults faults = {});

    bool started() const { return started_; }
    // The device path of the pseudo-terminal's slave side.
    std::string path() const { return runner_->path(); }
    // The module as a serial server serves it, when the options asked for a TCP listener.
    std::string url() const;
    // The first `count` bytes of the bootloader's flash.
    std::vector<std::uint8_t> Flash(std::size_t count);

    vr7c::sim::SimRunner& runner() { return *runner_; }
    vr7c::sim::SimRunner* operator->() { return runner_.get(); }
    const vr7c::sim::SimRunner* operator->() const { return runner_.get(); }

private:
    std::unique_ptr<vr7c::sim::SimRunner> runner_;
    bool started_ = false;
};
