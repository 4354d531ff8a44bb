#pragma once

#include <array>
#include <cstdint>

#include "RegisterNumbers.h"

// The console's copy of the module's holding registers and the names shown to the operator.

inline constexpr int kRegisterImageSize = Reg::kImageSize;   // registers 0 to 100
inline constexpr int kRegisterNameCount = Reg::kNamedCount;  // registers 0 to 83

// A copy of registers 0 to 100, zeroed at start; registers 0 to 99 are replaced by each good
// poll. Each line's owner keeps its own.
using RegisterImageWords = std::array<std::uint16_t, kRegisterImageSize>;

// Names of registers 0 to 83, UTF-8.
extern const char* const RegisterNames[kRegisterNameCount];

// Registers 76 to 81 (PT100 lead-resistance compensation) are shown as signed 16-bit numbers.
bool IsSignedRegister(int reg);

// The value of a register as the views show it: signed 16-bit for 76 to 81, else unsigned.
// Registers outside the image read 0.
std::int32_t RegisterDisplayValue(const RegisterImageWords& image, int reg);

// Channel k (0 to 5): the signed 32-bit acquired value of the pair 12 + 2k (low word) and
// 13 + 2k (high word).
std::int32_t ChannelAcquiredValue(const RegisterImageWords& image, int channel);
