#pragma once

#include <cstdint>

// The module's register numbers and the fixed values the console writes or tests, named once
// for the console, its panel and any other master of the module. Register numbers are plain
// zero-based holding-register offsets; only the Modbus routines add the PLC-CAN offset on the
// wire. The simulated module keeps its own copy on purpose, and a test checks the two agree.
namespace Reg {

// The console's copy of the registers and the part of it one poll reads.
inline constexpr int kImageSize = 101;  // registers 0 to 100; 100 is never polled
inline constexpr int kPollFirst = 0;
inline constexpr int kPollCount = 100;  // registers 0 to 99
inline constexpr int kNamedCount = 84;  // registers 0 to 83 have names and grid cells

inline constexpr int kChannelCount = 6;  // AD0 to AD5

// Registers per channel, one of each for channels 0 to 5 from the first number on.
inline constexpr int kMeasuredFirst = 0;        // temperature (0.1 °C) or weight (0.001 kg)
inline constexpr int kAcquiredLowFirst = 12;    // 32-bit pairs 12/13 to 22/23, low word first
inline constexpr int kOutputPercentFirst = 24;  // control output, 0.1 %
inline constexpr int kSetPointFirst = 30;       // set temperature, 0.1 °C
inline constexpr int kSetPointLast = 35;
inline constexpr int kLeadCompensationFirst = 76;  // PT100 lead resistance, signed
inline constexpr int kLeadCompensationLast = 81;

// Single registers.
inline constexpr int kOutputBits = 9;     // bit n: output of channel n on
inline constexpr int kColdJunction = 10;  // 0.01 °C
inline constexpr int kVersion = 11;       // firmware version × 100
inline constexpr int kBridgeStatus = 98;  // PLC-CAN bridge status

// Registers the operator may write from the grids.
inline constexpr int kWritableFirst = 30;
inline constexpr int kWritableLast = 99;

// The configuration block, loaded by the panel and written back in this order as one commit.
inline constexpr int kInputRange = 84;
inline constexpr int kSampleRate = 85;
inline constexpr int kConversionMode = 86;
inline constexpr int kThermocoupleType = 87;
inline constexpr int kLoadCellFactor = 88;    // grams per millivolt
inline constexpr int kTempCompensation = 89;  // signed, 0.1 °C
inline constexpr int kStationNumber = 90;
inline constexpr int kCanBaud = 91;
inline constexpr int kRs485Baud = 92;
inline constexpr int kSendSuppression = 93;  // milliseconds
inline constexpr int kFilterAndChannels = 94;
inline constexpr int kFrameFormat = 95;
inline constexpr int kCommitMarker = 96;
inline constexpr int kConfigFirst = kInputRange;
inline constexpr int kConfigCount = kCommitMarker - kConfigFirst + 1;

// Register 94: the filter level index in the low 4 bits, the channel-count index above them.
inline constexpr int kFilterLevelBits = 4;
inline constexpr std::uint16_t kFilterLevelMask = (1u << kFilterLevelBits) - 1;

// Values of register 86.
inline constexpr std::uint16_t kModeThermocouple = 0;
inline constexpr std::uint16_t kModePt100 = 1;
inline constexpr std::uint16_t kModeLoadCell = 2;  // and every value above

// Fixed values the console writes or tests.
inline constexpr std::uint16_t kCommitMarkerValue = 59881;      // 0xE9E9, ends every commit
inline constexpr std::uint16_t kBridgeReady = 6666;             // register 98 with the bridge up
inline constexpr std::uint16_t kVersionHandshake = 43690;       // 0xAAAA to register 11
inline constexpr std::uint16_t kColdJunctionHandshake = 21845;  // 0x5555 to register 10

// In connection mode "PLC-CAN" every register address on the wire is offset by this.
inline constexpr std::int32_t kPlcCanAddressOffset = 2200;

}  // namespace Reg
