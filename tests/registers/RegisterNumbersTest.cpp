// The console's register numbers against the simulated module's own copy: the two are kept
// apart on purpose, so that a slip on one side shows up here instead of as a silent agreement.

#include <gtest/gtest.h>

#include "ModbusSlave.h"
#include "ModuleModel.h"
#include "RegisterNumbers.h"

namespace {

namespace sim = vr7c::sim;

struct Pair {
    const char* what;
    int console;
    int simulator;
};

const Pair kPairs[] = {
    {"measured values", Reg::kMeasuredFirst, sim::regs::kMeasuredValue},
    {"output bits", Reg::kOutputBits, sim::regs::kOutputBits},
    {"cold junction", Reg::kColdJunction, sim::regs::kColdJunction},
    {"version", Reg::kVersion, sim::regs::kVersion},
    {"acquired pairs", Reg::kAcquiredLowFirst, sim::regs::kRawLow},
    {"output percent", Reg::kOutputPercentFirst, sim::regs::kOutputPercent},
    {"set points", Reg::kSetPointFirst, sim::regs::kSetPoint},
    {"lead compensation", Reg::kLeadCompensationFirst, sim::regs::kLeadCompensation},
    {"input range", Reg::kInputRange, sim::regs::kInputRange},
    {"sample rate", Reg::kSampleRate, sim::regs::kSampleRate},
    {"conversion mode", Reg::kConversionMode, sim::regs::kConversionMode},
    {"thermocouple type", Reg::kThermocoupleType, sim::regs::kThermocoupleType},
    {"load-cell factor", Reg::kLoadCellFactor, sim::regs::kLoadCellFactor},
    {"temperature compensation", Reg::kTempCompensation, sim::regs::kTempCompensation},
    {"station number", Reg::kStationNumber, sim::regs::kStationNumber},
    {"CAN baud", Reg::kCanBaud, sim::regs::kCanBaud},
    {"RS-485 baud", Reg::kRs485Baud, sim::regs::kRs485Baud},
    {"send suppression", Reg::kSendSuppression, sim::regs::kSendSuppression},
    {"filter and channels", Reg::kFilterAndChannels, sim::regs::kFilterAndChannels},
    {"frame format", Reg::kFrameFormat, sim::regs::kFrameFormat},
    {"commit marker", Reg::kCommitMarker, sim::regs::kCommitMarker},
    {"bridge status", Reg::kBridgeStatus, sim::regs::kBridgeStatus},
    {"registers polled", Reg::kPollFirst + Reg::kPollCount, sim::kModuleRegisterCount},
    {"channels", Reg::kChannelCount, sim::kChannelCount},
    {"PLC-CAN offset", Reg::kPlcCanAddressOffset, sim::kPlcCanAddressBase},
};

TEST(RegisterNumbersTest, ConsoleAndSimulatorAgree) {
    for (const Pair& pair : kPairs) {
        EXPECT_EQ(pair.console, pair.simulator) << pair.what;
    }
}

}  // namespace
