#pragma once

#include <cstdint>

#include "TrafficRing.h"

// The verdict on what arrived for one request, and its detail (see Verdict).
struct Judgement {
    Verdict verdict = Verdict::None;
    std::uint16_t detail = 0;
};

// Judges the bytes that had arrived when the Modbus master judged the reply to request
// (the frame it last sent), taken telling whether the master took them.
Judgement JudgeModbusReply(const std::uint8_t* request, int requestLength,
                           const std::uint8_t* reply, int count, bool taken);

// The same for a reply in the bootloader exchange.
Judgement JudgeBootloaderReply(const std::uint8_t* reply, int count, bool taken);

// Bytes of a Modbus frame: a CRC-16/MODBUS over all but the last two, which hold it.
bool IsModbusFrame(const std::uint8_t* bytes, int count);

// The reply length a Modbus request asks for (0 when not known).
int ExpectedReplyLength(const std::uint8_t* request, int requestLength);

inline constexpr std::uint8_t kModbusReadHolding = 3;
inline constexpr std::uint8_t kBootAck = 0x79;
inline constexpr std::uint8_t kBootNack = 0x1F;
