#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Whether bytes look like firmware for the module's STM32: a Cortex-M vector table whose
// initial stack pointer lies in the SRAM and whose reset vector has the Thumb bit set and
// points into the image, and no more bytes than the flash holds. Nothing when they do; else
// what is wrong, in a few words.
std::optional<std::string> FirmwareImageFault(const std::uint8_t* bytes, std::int64_t size);
