// The module's content: plausible values that move, and follow the conversion mode.

#include <gtest/gtest.h>

#include <cmath>

#include "ModuleModel.h"
#include "SimTestSupport.h"

namespace vr7c::sim::test {
namespace {

std::int32_t raw(const ModuleModel& model, int channel) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(model.get(13 + 2 * channel)) << 16 |
                                     model.get(12 + 2 * channel));
}

void runFor(ModuleModel& model, Micros& now, Micros duration) {
    const Micros end = now + duration;
    while (now < end) {
        now += ModuleModel::kSamplePeriod;
        model.advance(now);
    }
}

TEST(ModuleModel, StartsWithTheVersionColdJunctionAndConfigurationBlock) {
    ModuleModel model(1);
    EXPECT_EQ(model.get(regs::kVersion), 150);
    EXPECT_NEAR(model.get(regs::kColdJunction), 2617, 40);
    const std::uint16_t block[] = {0, 9, 0, 0, 1000, 65521, 1, 6, 1, 100, 0x0050, 2};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(model.get(84 + i), block[i]) << "register " << 84 + i;
    }
    EXPECT_EQ(model.get(regs::kBridgeStatus), 0);
    EXPECT_EQ(model.get(regs::kReplySequence), 0);
    EXPECT_EQ(model.get(100), 0);  // out of range reads 0
    EXPECT_EQ(model.get(-1), 0);
}

TEST(ModuleModel, ThermocoupleChannelsAreNearTheirSetPointsWithConsistentMillivolts) {
    ModuleModel model(3);
    Micros now = 0;
    model.advance(now);
    runFor(model, now, 5 * kMicrosPerSecond);
    const double coldJunction = model.get(regs::kColdJunction) / 100.0;
    for (int c = 0; c < kChannelCount; ++c) {
        const double setPoint = model.get(regs::kSetPoint + c) / 10.0;
        const double shown = model.get(c) / 10.0;  // includes the -1.5 °C compensation
        EXPECT_NEAR(shown, setPoint - 1.5, 8.0) << "channel " << c;
        // Type K, about 41 µV/°C above the cold junction; raw in 1e-5 mV.
        const double millivolts = raw(model, c) / 1e5;
        EXPECT_NEAR(millivolts, 0.041 * (shown + 1.5 - coldJunction), 0.3) << "channel " << c;
        EXPECT_LE(model.get(regs::kOutputPercent + c), 1000);
        EXPECT_GT(model.get(regs::kOutputPercent + c), 0);
    }
}

TEST(ModuleModel, ValuesAndHeartbeatMoveOverTime) {
    ModuleModel model(5);
    Micros now = 0;
    model.advance(now);
    const auto before = model.registers();
    runFor(model, now, 10 * kMicrosPerSecond);
    const auto after = model.registers();
    EXPECT_EQ(static_cast<std::uint16_t>(after[regs::kHeartbeat] - before[regs::kHeartbeat]), 100);
    int changed = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        changed += before[c] != after[c];
        changed += before[12 + 2 * c] != after[12 + 2 * c];
    }
    EXPECT_GE(changed, 8);
}

TEST(ModuleModel, OutputBitsFollowTheOutputPercentages) {
    ModuleModel model(9);
    Micros now = 0;
    model.advance(now);
    std::array<int, kChannelCount> on{};
    const int samples = 200;  // 20 s, ten PWM periods
    for (int i = 0; i < samples; ++i) {
        runFor(model, now, ModuleModel::kSamplePeriod);
        for (int c = 0; c < kChannelCount; ++c) {
            on[c] += (model.get(regs::kOutputBits) >> c) & 1;
        }
    }
    for (int c = 0; c < kChannelCount; ++c) {
        EXPECT_NEAR(on[c] / double(samples), model.get(regs::kOutputPercent + c) / 1000.0, 0.15)
            << "channel " << c;
    }
}

TEST(ModuleModel, Pt100ModeGivesOhms) {
    ModuleModel model(1);
    model.write(regs::kConversionMode, 1);
    for (int c = 0; c < kChannelCount; ++c) {
        const double celsius = (model.get(c) / 10.0) + 1.5;
        const double ohms = raw(model, c) / 100.0;
        EXPECT_NEAR(ohms, 100.0 * (1 + 3.9083e-3 * celsius - 5.775e-7 * celsius * celsius), 0.6)
            << "channel " << c;
    }
}

TEST(ModuleModel, LoadCellModeGivesWeightsFromMillivoltsAndFactor) {
    ModuleModel model(1);
    model.write(regs::kConversionMode, 2);
    for (int c = 0; c < kChannelCount; ++c) {
        const double grams = model.get(c);  // 0.001 kg
        EXPECT_GT(grams, 100) << "channel " << c;
        EXPECT_NEAR(raw(model, c) / 1e5 * 1000.0, grams, 1.0) << "channel " << c;
        EXPECT_EQ(model.get(regs::kOutputPercent + c), 0);
    }
    const std::int32_t before = raw(model, 0);
    model.write(regs::kLoadCellFactor, 500);  // half the grams per millivolt: twice the millivolts
    EXPECT_NEAR(raw(model, 0), 2.0 * before, 0.01 * std::abs(before) + 200);
}

TEST(ModuleModel, ChannelCountSwitchesUnusedChannelsOff) {
    ModuleModel model(1);
    model.write(regs::kFilterAndChannels, 0x0023);  // filter 3, three channels
    for (int c = 0; c < kChannelCount; ++c) {
        if (c < 3) {
            EXPECT_NE(model.get(c), 0) << "channel " << c;
        } else {
            EXPECT_EQ(model.get(c), 0) << "channel " << c;
            EXPECT_EQ(raw(model, c), 0) << "channel " << c;
            EXPECT_EQ((model.get(regs::kOutputBits) >> c) & 1, 0);
        }
    }
}

TEST(ModuleModel, HeldRegistersKeepTheirValue) {
    ModuleModel model(1);
    Micros now = 0;
    model.advance(now);
    model.hold(regs::kBridgeStatus, 6666);
    model.hold(0, 1234);
    model.hold(regs::kHeartbeat, 7);
    runFor(model, now, 2 * kMicrosPerSecond);
    model.write(0, 99);  // a Modbus write does not move a held register either
    EXPECT_EQ(model.get(regs::kBridgeStatus), 6666);
    EXPECT_EQ(model.get(0), 1234);
    EXPECT_EQ(model.get(regs::kHeartbeat), 7);
    model.release(regs::kHeartbeat);
    runFor(model, now, kMicrosPerSecond);
    EXPECT_EQ(model.get(regs::kHeartbeat), 17);
}

TEST(ModuleModel, FrozenModelStandsStill) {
    ModuleModel model(1);
    Micros now = 0;
    model.advance(now);
    model.setFrozen(true);
    const auto before = model.registers();
    runFor(model, now, 5 * kMicrosPerSecond);
    EXPECT_EQ(model.registers(), before);
    EXPECT_FALSE(model.deadline());
    model.write(30, 1000);
    EXPECT_EQ(model.get(30), 1000);
}

TEST(ModuleModel, MeasuredRegisterWrittenIsRefreshedByTheNextSample) {
    ModuleModel model(1);
    Micros now = 0;
    model.advance(now);
    model.write(regs::kColdJunction, 21845);
    EXPECT_EQ(model.get(regs::kColdJunction), 21845);
    runFor(model, now, ModuleModel::kSamplePeriod);
    EXPECT_NEAR(model.get(regs::kColdJunction), 2617, 40);
    model.write(regs::kVersion, 43690);  // not measured: stays
    runFor(model, now, kMicrosPerSecond);
    EXPECT_EQ(model.get(regs::kVersion), 43690);
}

TEST(ModuleModel, SetPointChangeMovesTheTemperature) {
    ModuleModel model(2);
    Micros now = 0;
    model.advance(now);
    model.write(regs::kSetPoint, 2500);  // 150 → 250 °C
    runFor(model, now, 300 * kMicrosPerSecond);
    EXPECT_NEAR(model.get(0) / 10.0, 248.5, 8.0);
}

TEST(ModuleModel, LongPauseCatchesUpOnlyALittle) {
    ModuleModel model(1);
    model.advance(0);
    const std::uint16_t before = model.get(regs::kHeartbeat);
    model.advance(3600 * kMicrosPerSecond);
    EXPECT_EQ(model.get(regs::kHeartbeat) - before, 50);
    EXPECT_GT(*model.deadline(), 3600 * kMicrosPerSecond);
}

}  // namespace
}  // namespace vr7c::sim::test
