#include "SessionRig.h"

SessionRig::SessionRig() {
    auto fake = std::make_unique<FakeSerialPortIo>();
    port = fake.get();
    driver = std::make_unique<VEVErizEvezad>(nullptr, std::move(fake), &clock);
    session = std::make_unique<BootloaderSession>(*driver, view, clock);
}

void SessionRig::AttachBootloader(vr7c::sim::Stm32BootloaderFaults faults) {
    bootloader = std::make_unique<vr7c::sim::Stm32Bootloader>(std::move(faults));
    bootloader->reset(NowMicros());
    port->onWrite = [this](const std::vector<std::uint8_t>& bytes) {
        for (auto b : bytes) {
            bootloader->receive(b, NowMicros(), line);
        }
    };
}

void SessionRig::Press() {
    session->Start();
    NoteWatchdogRestart();
}

void SessionRig::NoteWatchdogRestart() {
    watchdogWasActive_ = session->OvertimeT.isActive();
    nextWatchdog_ = clock.now + BootloaderSession::kWatchdogIntervalMs;
}

void SessionRig::DeliverDueBytes() {
    std::vector<std::uint8_t> due;
    line.takeDue(NowMicros(), due);
    if (!due.empty()) {
        port->feed(std::move(due));
    }
}

void SessionRig::RunFor(std::uint32_t milliseconds) {
    const std::uint32_t end = clock.now + milliseconds;
    while (clock.now < end) {
        ++clock.now;
        DeliverDueBytes();
        if (driver->Connected() && clock.now >= nextPoll_) {
            driver->PollReceive();
            nextPoll_ = clock.now + driver->ComPortPollingDelay();
        }
        if (session->Timer5.isActive() && clock.now >= nextStep_) {
            session->Timer5Timer();
            nextStep_ = clock.now + BootloaderSession::kStepIntervalMs;
        }
        const bool watchdogActive = session->OvertimeT.isActive();
        if (watchdogActive && !watchdogWasActive_) {
            NoteWatchdogRestart();
        } else if (watchdogActive && clock.now >= nextWatchdog_) {
            session->OvertimeTTimer();
            NoteWatchdogRestart();
        }
        watchdogWasActive_ = session->OvertimeT.isActive();
    }
}

void SessionRig::RunUntilIdle(std::uint32_t limitMs) {
    const std::uint32_t end = clock.now + limitMs;
    while (!Idle() && clock.now < end) {
        RunFor(1);
    }
}

void SessionRig::Reply(const std::vector<std::uint8_t>& bytes) {
    port->feed(bytes);
    driver->PollReceive();
    session->Timer5Timer();
}

std::vector<std::uint8_t> SessionRig::WrittenSince(std::size_t firstWrite) const {
    std::vector<std::uint8_t> all;
    for (std::size_t i = firstWrite; i < port->writes.size(); ++i) {
        all.insert(all.end(), port->writes[i].begin(), port->writes[i].end());
    }
    return all;
}
