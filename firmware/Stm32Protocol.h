#pragma once

#include <cstddef>
#include <cstdint>

// Bytes and frames of the STM32 USART system bootloader, shared by the firmware dialog's
// session and the command-line flasher.
namespace stm32 {

inline constexpr std::uint8_t SYNC = 0x7F;
inline constexpr std::uint8_t ACK = 0x79;
inline constexpr std::uint8_t NACK = 0x1F;
inline constexpr std::uint8_t CMD_GET = 0x00;
inline constexpr std::uint8_t CMD_GET_ID = 0x02;
inline constexpr std::uint8_t CMD_READ_MEMORY = 0x11;
inline constexpr std::uint8_t CMD_GO = 0x21;
inline constexpr std::uint8_t CMD_WRITE_MEMORY = 0x31;
inline constexpr std::uint8_t CMD_ERASE = 0x43;

// The Get reply: ACK, the count of following bytes less one (11 commands and the version),
// the version, the first command code, ..., ACK.
inline constexpr std::uint8_t GET_BYTE_COUNT = 0x0B;
// The Get ID reply: ACK, the count of ID bytes less one, the two ID bytes, ACK.
inline constexpr std::uint8_t GET_ID_BYTE_COUNT = 0x01;

// The flash-size register of STM32F1 parts (flash size in KiB, two bytes little-endian).
inline constexpr std::uint32_t FLASH_SIZE_REGISTER = 0x1FFFF7E0;
inline constexpr std::uint32_t FLASH_START = 0x08000000;
// The module's STM32F103: 64 KiB of flash, 20 KiB of SRAM.
inline constexpr std::uint32_t MODULE_FLASH_BYTES = 64 * 1024;
inline constexpr std::uint32_t SRAM_START = 0x20000000;
inline constexpr std::uint32_t MODULE_SRAM_BYTES = 20 * 1024;
inline constexpr std::int32_t PAGE_SIZE = 1024;
inline constexpr std::int32_t MAX_BLOCK = 256;

inline std::uint8_t XorOf(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum ^= bytes[i];
    }
    return sum;
}

// Four address bytes, most significant first, then their XOR, into out[0..4].
inline void AddressFrame(std::uint32_t address, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(address >> 24);
    out[1] = static_cast<std::uint8_t>(address >> 16);
    out[2] = static_cast<std::uint8_t>(address >> 8);
    out[3] = static_cast<std::uint8_t>(address);
    out[4] = XorOf(out, 4);
}

// The page erase for an image of `imageSize` bytes (at most 262,143): the last page number,
// the page numbers 0 to P - 1, then the XOR of all of them, P being one more than the whole
// pages of the image. Gives the frame length, P + 2; out needs room for 258 bytes.
inline std::size_t EraseFrame(std::int32_t imageSize, std::uint8_t* out) {
    const std::int32_t pages = imageSize / PAGE_SIZE + 1;
    out[0] = static_cast<std::uint8_t>(pages - 1);
    for (std::int32_t page = 0; page < pages; ++page) {
        out[1 + page] = static_cast<std::uint8_t>(page);
    }
    const auto length = static_cast<std::size_t>(pages + 2);
    out[length - 1] = XorOf(out, length - 1);
    return length;
}

}  // namespace stm32
