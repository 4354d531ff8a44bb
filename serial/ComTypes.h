#pragma once

#include <cstdint>

// Serial settings enumerations. Each value is stored in one byte; the ordinal is the
// position in the list, counting from 0.

enum TComPortNumber : std::uint8_t {
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8
};

enum TComPortBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};

enum TComPortDataBits : std::uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };

enum TComPortStopBits : std::uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };

enum TComPortParity : std::uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };

enum TComPortHwHandshaking : std::uint8_t { hhNONE, hhRTSCTS };

enum TComPortSwHandshaking : std::uint8_t { shNONE, shXONXOFF };

// Bits per second of each TComPortBaudRate ordinal.
inline constexpr std::uint32_t kBaudRateTable[13] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                                     14400, 19200, 38400, 56000, 57600, 115200};
