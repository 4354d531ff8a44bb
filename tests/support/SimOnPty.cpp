#include "SimOnPty.h"

#include <gtest/gtest.h>

#include "SimModule.h"

using vr7c::sim::SimModule;
using vr7c::sim::Stm32Bootloader;

SimOnPty::SimOnPty(vr7c::sim::SimOptions options)
    : runner_(std::make_unique<vr7c::sim::SimRunner>(std::move(options))) {
    std::string error;
    started_ = runner_->start(&error);
    EXPECT_TRUE(started_) << "simulator did not start: " << error;
}

vr7c::sim::SimOptions SimOnPty::WithBootloader(vr7c::sim::SimOptions options,
                                               vr7c::sim::Stm32BootloaderFaults faults) {
    options.bootloaderFactory = [faults] { return std::make_unique<Stm32Bootloader>(faults); };
    return options;
}

std::string SimOnPty::url() const {
    return "tcp://127.0.0.1:" + std::to_string(runner_->tcpPort());
}

std::vector<std::uint8_t> SimOnPty::Flash(std::size_t count) {
    return runner_->withModule([count](SimModule& module) {
        const auto* boot = static_cast<const Stm32Bootloader*>(module.bootloader());
        const auto& flash = boot->flash();
        return std::vector<std::uint8_t>(flash.begin(),
                                         flash.begin() + static_cast<std::ptrdiff_t>(count));
    });
}
