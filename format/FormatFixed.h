#pragma once

#include <QString>

#include <cstdint>

// Fixed-point text of a scaled integer: "-" for a negative value, the magnitude divided by
// 10^decimals, ".", and the remainder left-filled with "0" to exactly decimals digits.
// FormatFixed(2617, 2) gives "26.17", FormatFixed(-50, 5) gives "-0.00050".
QString FormatFixed(std::int32_t value, int decimals);
