#include "ImageCheck.h"

#include <cstdio>

#include "Stm32Protocol.h"

namespace {

std::uint32_t Word(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::string WithAddress(const char* format, std::uint32_t address) {
    char text[96];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(address));
    return text;
}

}  // namespace

std::optional<std::string> FirmwareImageFault(const std::uint8_t* bytes, std::int64_t size) {
    using namespace stm32;
    if (size < 8) {
        return "shorter than a vector table";
    }
    if (size > MODULE_FLASH_BYTES) {
        return "larger than the 64 KiB flash";
    }
    // The stack grows down from its initial value, which may be the end of the SRAM.
    const std::uint32_t stack = Word(bytes);
    if (stack <= SRAM_START || stack > SRAM_START + MODULE_SRAM_BYTES || (stack & 3) != 0) {
        return WithAddress("initial stack pointer 0x%08X is not in the SRAM", stack);
    }
    const std::uint32_t reset = Word(bytes + 4);
    if ((reset & 1) == 0) {
        return WithAddress("reset vector 0x%08X lacks the Thumb bit", reset);
    }
    const std::uint32_t handler = reset & ~std::uint32_t{1};
    if (handler < FLASH_START + 8 || handler >= FLASH_START + static_cast<std::uint32_t>(size)) {
        return WithAddress("reset vector 0x%08X does not point into the image", reset);
    }
    return std::nullopt;
}
