#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vr7c::sim {

// CRC-16/MODBUS (reflected polynomial 0xA001, start 0xFFFF, no final exclusive-or), computed
// from a table. Deliberately independent of the console's Modbus master, so that a fault in
// either is caught by the other.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Appends the CRC of the frame so far, low byte first.
void appendCrc(std::vector<std::uint8_t>& frame);

// True when the frame is at least 3 bytes long and its last two bytes are the CRC of the rest.
bool crcMatches(std::span<const std::uint8_t> frame);

}  // namespace vr7c::sim
