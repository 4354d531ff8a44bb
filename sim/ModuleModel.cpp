#include "ModuleModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vr7c::sim {
namespace {

constexpr double kAmbient = 25.0;           // °C around the heated zones
constexpr double kHeaterGain = 400.0;       // °C above ambient at full output
constexpr double kTimeConstant = 40.0;      // s
constexpr double kProportional = 0.05;      // per °C
constexpr double kIntegral = 0.004;         // per °C and second
constexpr double kPwmPeriod = 2.0;          // s, for the output-state bits
constexpr double kMeasurementNoise = 0.12;  // °C

// Seebeck coefficients near room temperature, µV/°C, for types K, J, E, T, S, R.
constexpr std::array<double, 6> kSeebeck = {41.0, 52.0, 68.0, 43.0, 6.5, 6.7};

// Callendar-Van Dusen for a PT100 at and above 0 °C (and a fair approximation just below).
double pt100Ohms(double celsius) {
    constexpr double a = 3.9083e-3;
    constexpr double b = -5.775e-7;
    return 100.0 * (1.0 + a * celsius + b * celsius * celsius);
}

std::uint16_t clampWord(double value) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 65535L));
}

std::int16_t asSigned(std::uint16_t word) {
    return static_cast<std::int16_t>(word);
}

}  // namespace

ModuleModel::ModuleModel(std::uint64_t seed) : random_(seed ^ 0x5EED0F0D5EED0F0Dull) {
    static constexpr std::array<std::uint16_t, kChannelCount> kSetPoints = {1500, 2000, 2500,
                                                                            1200, 3000, 1800};
    for (int c = 0; c < kChannelCount; ++c) {
        regs_[regs::kSetPoint + c] = kSetPoints[c];
        regs_[regs::kPTerm + c] = 80;
        regs_[regs::kITerm + c] = 200;
        regs_[regs::kDTerm + c] = 20;
        Zone& zone = zones_[c];
        const double setPoint = kSetPoints[c] / 10.0;
        zone.temperature = setPoint - 1.5 + random_.uniform() * 3.0;
        zone.integral = std::clamp((setPoint - kAmbient) / kHeaterGain, 0.0, 1.0);
        zone.output = zone.integral;
        zone.weightBase = 1.2 + 2.35 * c;
        zone.weight = zone.weightBase;
    }
    regs_[regs::kVersion] = 150;
    regs_[regs::kInputRange] = 0;
    regs_[regs::kSampleRate] = 9;
    regs_[regs::kConversionMode] = 0;
    regs_[regs::kThermocoupleType] = 0;
    regs_[regs::kLoadCellFactor] = 1000;
    regs_[regs::kTempCompensation] = 65521;  // -1.5 °C
    regs_[regs::kStationNumber] = 1;
    regs_[regs::kCanBaud] = 6;
    regs_[regs::kRs485Baud] = 1;
    regs_[regs::kSendSuppression] = 100;
    regs_[regs::kFilterAndChannels] = 0x0050;  // filter 0, six channels
    regs_[regs::kFrameFormat] = 2;
    refreshMeasurements();
}

std::uint16_t ModuleModel::get(int reg) const {
    if (reg < 0 || reg >= kModuleRegisterCount) {
        return 0;
    }
    return regs_[reg];
}

void ModuleModel::set(int reg, std::uint16_t value) {
    if (!held_.test(static_cast<std::size_t>(reg))) {
        regs_[reg] = value;
    }
}

void ModuleModel::write(int reg, std::uint16_t value) {
    if (reg < 0 || reg >= kModuleRegisterCount) {
        return;
    }
    set(reg, value);
    if (reg == regs::kCommitMarker && value == regs::kCommitMarkerValue) {
        commitPending_ = true;
    }
    switch (reg) {
        case regs::kInputRange:
        case regs::kConversionMode:
        case regs::kThermocoupleType:
        case regs::kLoadCellFactor:
        case regs::kTempCompensation:
        case regs::kFilterAndChannels:
            refreshMeasurements();
            break;
        default:
            if (reg >= regs::kLeadCompensation && reg < regs::kLeadCompensation + kChannelCount) {
                refreshMeasurements();
            }
            break;
    }
}

void ModuleModel::hold(int reg, std::uint16_t value) {
    if (reg < 0 || reg >= kModuleRegisterCount) {
        return;
    }
    held_.reset(static_cast<std::size_t>(reg));
    write(reg, value);
    held_.set(static_cast<std::size_t>(reg));
}

void ModuleModel::release(int reg) {
    if (reg >= 0 && reg < kModuleRegisterCount) {
        held_.reset(static_cast<std::size_t>(reg));
    }
}

void ModuleModel::releaseAll() {
    held_.reset();
}

bool ModuleModel::isHeld(int reg) const {
    return reg >= 0 && reg < kModuleRegisterCount && held_.test(static_cast<std::size_t>(reg));
}

std::uint16_t ModuleModel::countReadReply() {
    set(regs::kReplySequence, static_cast<std::uint16_t>(regs_[regs::kReplySequence] + 1));
    return regs_[regs::kReplySequence];
}

void ModuleModel::advance(Micros now) {
    if (!nextSample_) {
        nextSample_ = now + kSamplePeriod;
        return;
    }
    if (frozen_) {
        // Time passes without the world moving; sampling resumes one period after unfreezing.
        nextSample_ = std::max(*nextSample_, now + kSamplePeriod);
        return;
    }
    // After a long pause (a stopped debugger, a suspended machine) catch up a little only.
    constexpr int kMaxCatchUp = 50;
    int steps = 0;
    while (*nextSample_ <= now && steps < kMaxCatchUp) {
        step(static_cast<double>(kSamplePeriod) / kMicrosPerSecond);
        *nextSample_ += kSamplePeriod;
        ++steps;
    }
    if (*nextSample_ <= now) {
        nextSample_ = now + kSamplePeriod;
    }
    if (steps > 0) {
        refreshMeasurements();
    }
}

std::optional<Micros> ModuleModel::deadline() const {
    if (frozen_) {
        return std::nullopt;
    }
    return nextSample_;
}

void ModuleModel::step(double seconds) {
    clock_ += seconds;
    for (int c = 0; c < kChannelCount; ++c) {
        Zone& zone = zones_[c];
        const double setPoint = regs_[regs::kSetPoint + c] / 10.0;
        const double error = setPoint - zone.temperature;
        zone.integral = std::clamp(zone.integral + kIntegral * error * seconds, 0.0, 1.0);
        zone.output = std::clamp(kProportional * error + zone.integral, 0.0, 1.0);
        if (inputs_[c].stuckOutput) {
            zone.integral = 0.0;
            zone.output = 0.0;
        }
        const double target = kAmbient + kHeaterGain * zone.output;
        zone.temperature += (target - zone.temperature) * seconds / kTimeConstant;
        zone.temperature += random_.gauss(0.02);  // draughts

        zone.weight += (zone.weightBase - zone.weight) * 0.05 + random_.gauss(0.003);
        if (random_.uniform() < 0.002) {  // now and then something is put on or taken off
            zone.weightBase = std::clamp(zone.weightBase + random_.gauss(1.5), 0.2, 40.0);
        }
    }
    coldJunction_ =
        26.17 + 0.15 * std::sin(2.0 * std::numbers::pi * clock_ / 300.0) + random_.gauss(0.01);
    set(regs::kHeartbeat, static_cast<std::uint16_t>(regs_[regs::kHeartbeat] + 1));
}

int ModuleModel::activeChannels() const {
    return std::clamp((regs_[regs::kFilterAndChannels] >> 4) + 1, 1, kChannelCount);
}

void ModuleModel::setRaw(int channel, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    set(regs::kRawLow + 2 * channel, static_cast<std::uint16_t>(bits & 0xFFFFu));
    set(regs::kRawLow + 2 * channel + 1, static_cast<std::uint16_t>(bits >> 16));
}

void ModuleModel::refreshMeasurements() {
    const std::uint16_t mode = regs_[regs::kConversionMode];
    const bool loadCell = mode >= 2;
    const double rangeMv = regs_[regs::kInputRange] == 1 ? 25.0 : 100.0;
    const double compensation = asSigned(regs_[regs::kTempCompensation]) / 10.0;
    const double seebeck = kSeebeck[std::min<std::size_t>(regs_[regs::kThermocoupleType], 5)];
    const double factor = std::max<std::uint16_t>(regs_[regs::kLoadCellFactor], 1);
    const int active = activeChannels();
    std::uint16_t bits = 0;
    const double pwmPhase = std::fmod(clock_, kPwmPeriod) / kPwmPeriod;

    for (int c = 0; c < kChannelCount; ++c) {
        const Zone& zone = zones_[c];
        if (c >= active) {
            set(regs::kMeasuredValue + c, 0);
            setRaw(c, 0);
            set(regs::kOutputPercent + c, 0);
            continue;
        }
        const double measured = zone.temperature + random_.gauss(kMeasurementNoise);
        double raw = 0.0;
        if (loadCell) {
            const double grams = zone.weight * 1000.0;
            set(regs::kMeasuredValue + c, clampWord(grams));
            raw = std::clamp(grams / factor, -rangeMv, rangeMv) * 1e5;  // 1e-5 mV
            set(regs::kOutputPercent + c, 0);
        } else {
            set(regs::kMeasuredValue + c, clampWord((measured + compensation) * 10.0));
            if (mode == 1) {
                const double lead = asSigned(regs_[regs::kLeadCompensation + c]) / 100.0;
                raw = (pt100Ohms(measured) + lead) * 100.0;  // 0.01 ohm
            } else {
                const double millivolts = seebeck * (measured - coldJunction_) / 1000.0;
                raw = std::clamp(millivolts, -rangeMv, rangeMv) * 1e5;  // 1e-5 mV
            }
            set(regs::kOutputPercent + c, clampWord(zone.output * 1000.0));
            if (pwmPhase < zone.output) {
                bits = static_cast<std::uint16_t>(bits | (1u << c));
            }
        }
        const ChannelInput& input = inputs_[c];
        if (input.reference) {
            const double scale = !loadCell && mode == 1 ? 100.0 : 1e5;  // 0.01 ohm or 1e-5 mV
            raw = (*input.reference + (input.noise > 0 ? random_.gauss(input.noise) : 0.0)) * scale;
        }
        if (input.dead) {
            raw = 0.0;
            set(regs::kMeasuredValue + c, 0);
        }
        setRaw(c, static_cast<std::int32_t>(std::lround(raw)));
    }
    set(regs::kAdFault, 0);
    set(regs::kOutputBits, bits);
    set(regs::kColdJunction, clampWord(coldJunction_ * 100.0));
}

}  // namespace vr7c::sim
