#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <utility>

#include "SimRandom.h"
#include "SimTime.h"

namespace vr7c::sim {

inline constexpr int kModuleRegisterCount = 100;  // holding registers 0 to 99

// Register numbers the simulated module gives a meaning to.
namespace regs {
inline constexpr int kMeasuredValue = 0;  // 0..5: temperature 0.1 °C, or weight 0.001 kg
inline constexpr int kAdFault = 6;        // 55 when the A/D chip fails
inline constexpr int kMasterHeartbeat = 7;
inline constexpr int kHeartbeat = 8;          // counts up with every sample
inline constexpr int kOutputBits = 9;         // bit n: output of channel n on
inline constexpr int kColdJunction = 10;      // 0.01 °C
inline constexpr int kVersion = 11;           // version × 100
inline constexpr int kRawLow = 12;            // 12/13 .. 22/23: signed 32-bit, low word first
inline constexpr int kOutputPercent = 24;     // 24..29: 0.1 %
inline constexpr int kSetPoint = 30;          // 30..35: 0.1 °C
inline constexpr int kPTerm = 36;             // 36..41
inline constexpr int kITerm = 42;             // 42..47
inline constexpr int kDTerm = 70;             // 70..75
inline constexpr int kLeadCompensation = 76;  // 76..81: signed, 0.01 ohm
inline constexpr int kInputRange = 84;        // 0: ±100 mV, 1: ±25 mV
inline constexpr int kSampleRate = 85;
inline constexpr int kConversionMode = 86;    // 0 thermocouple, 1 PT100, 2 and up load cell
inline constexpr int kThermocoupleType = 87;  // K, J, E, T, S, R
inline constexpr int kLoadCellFactor = 88;    // grams per millivolt
inline constexpr int kTempCompensation = 89;  // signed, 0.1 °C
inline constexpr int kStationNumber = 90;
inline constexpr int kCanBaud = 91;
inline constexpr int kRs485Baud = 92;
inline constexpr int kSendSuppression = 93;
inline constexpr int kFilterAndChannels = 94;  // low 4 bits filter, bits 4.. channel count - 1
inline constexpr int kFrameFormat = 95;
inline constexpr int kCommitMarker = 96;
inline constexpr std::uint16_t kCommitMarkerValue = 59881;  // 0xE9E9: keep the block
inline constexpr int kReplySequence = 97;                   // counts the read replies sent
inline constexpr int kBridgeStatus = 98;  // PLC-CAN bridge status (6666: bridge ready)
}  // namespace regs

inline constexpr int kChannelCount = 6;

// The module's registers and the small physical world behind them: six heated zones under a PI
// control each, six load cells, a cold junction near 26 °C. Every sample period (100 ms) the
// world moves on and the measured registers are refreshed from it, in the meaning register 86
// gives them. Everything else is plain storage that writes change.
//
// What the test fixture puts on one channel's input, for good and bad units in production tests.
struct ChannelInput {
    std::optional<double> reference;  // a fixed input: mV, or Ω in PT100 mode
    double noise = 0.0;               // standard deviation added to each sample, same unit
    bool dead = false;                // the channel reads nothing at all
    bool stuckOutput = false;         // the output ignores its set point and stays off
};

// A register can be held: it keeps the value it was given, whatever the simulation does (for
// presets from the command line and for tests).
class ModuleModel {
public:
    static constexpr Micros kSamplePeriod = 100 * kMicrosPerMilli;

    explicit ModuleModel(std::uint64_t seed);

    std::uint16_t get(int reg) const;
    const std::array<std::uint16_t, kModuleRegisterCount>& registers() const { return regs_; }

    // A write as a Modbus master makes it: stored at once; a measured register is refreshed
    // again with the next sample. Writes that change the meaning of the measured values
    // (range, mode, type, factor, compensation, channel count) take effect at once.
    void write(int reg, std::uint16_t value);
    // Stores the value and holds it there.
    void hold(int reg, std::uint16_t value);
    void release(int reg);
    void releaseAll();
    bool isHeld(int reg) const;

    // A frozen model does not move with time; writes still work.
    void setFrozen(bool frozen) { frozen_ = frozen; }
    bool frozen() const { return frozen_; }

    // Lets time run to `now`, one sample period at a time.
    void advance(Micros now);
    std::optional<Micros> deadline() const;

    // True once after the commit marker has been written: the module then takes the new
    // station, rate and format from its configuration block.
    bool takeCommit() { return std::exchange(commitPending_, false); }

    // Counts a read reply: the sequence register goes up by one (unless held). Gives its value.
    std::uint16_t countReadReply();

    void setInput(int channel, const ChannelInput& input) { inputs_.at(channel) = input; }

    // Recomputes the measured registers from the simulated world.
    void refreshMeasurements();

private:
    void set(int reg, std::uint16_t value);
    void setRaw(int channel, std::int32_t value);
    void step(double seconds);
    int activeChannels() const;

    std::array<std::uint16_t, kModuleRegisterCount> regs_{};
    std::bitset<kModuleRegisterCount> held_;
    SimRandom random_;
    bool frozen_ = false;
    bool commitPending_ = false;
    std::optional<Micros> nextSample_;
    double clock_ = 0.0;  // simulated seconds since start

    struct Zone {
        double temperature = 25.0;  // °C
        double integral = 0.0;      // controller integral part, 0..1
        double output = 0.0;        // heater 0..1
        double weight = 0.0;        // kg on the load cell
        double weightBase = 0.0;
    };
    std::array<Zone, kChannelCount> zones_{};
    std::array<ChannelInput, kChannelCount> inputs_{};
    double coldJunction_ = 26.17;
};

}  // namespace vr7c::sim
