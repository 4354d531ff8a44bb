#pragma once

#include <cstdint>
#include <optional>

#include "LineDevice.h"
#include "LineOutput.h"
#include "Stm32Bootloader.h"

// Faults of the simulated STM32 bootloader beyond the ones it offers itself, made by standing
// between it and the line: one answer of the exchange replaced by NACK, or a noise byte put
// in front of every answer that starts with ACK.
struct ScriptedBootloaderFaults {
    // The n-th answer after a synchronisation byte (counting from 1) is a lone NACK; 0: none.
    // On the normal path answer n is what the session awaits in its state n, for n up to 10.
    int nackAnswer = 0;
    bool noiseBeforeEveryAck = false;
};

class ScriptedBootloader final : public vr7c::sim::LineDevice {
public:
    static constexpr std::uint8_t kNack = 0x1F;
    static constexpr std::uint8_t kAck = 0x79;
    static constexpr std::uint8_t kNoise = 0xA5;

    explicit ScriptedBootloader(ScriptedBootloaderFaults faults,
                                vr7c::sim::Stm32BootloaderFaults inner = {});

    void reset(vr7c::sim::Micros now) override;
    void receive(std::uint8_t byte, vr7c::sim::Micros now, vr7c::sim::LineOutput& out) override;
    void advance(vr7c::sim::Micros now, vr7c::sim::LineOutput& out) override;
    std::optional<vr7c::sim::Micros> deadline() const override { return inner_.deadline(); }
    std::optional<vr7c::sim::LineHandover> takeHandover() override { return inner_.takeHandover(); }
    void lineDropped(vr7c::sim::Micros now) override { inner_.lineDropped(now); }

    const vr7c::sim::Stm32Bootloader& Inner() const { return inner_; }
    // Synchronisation bytes that began an attempt (after a silence, as the session sends them).
    int Attempts() const { return attempts_; }
    // NACKs put on the line in place of an answer.
    int NacksSent() const { return nacksSent_; }

private:
    // Moves what the bootloader answered to the line, changed as the faults say.
    void Forward(vr7c::sim::LineOutput& out);

    ScriptedBootloaderFaults faults_;
    vr7c::sim::Stm32Bootloader inner_;
    vr7c::sim::LineOutput answers_;
    vr7c::sim::Micros lastByteAt_ = 0;
    bool heardAnything_ = false;
    int answersSinceSync_ = 0;
    int attempts_ = 0;
    int nacksSent_ = 0;
};
