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

// A request in Modbus TCP framing as the master sends it: the MBAP header (protocol 0, length
// 6, unit) and the 5-byte PDU.
inline constexpr int kMbapRequestLength = 12;
bool IsMbapRequest(const std::uint8_t* request, int requestLength);
// A frame that starts with an MBAP header whose length covers exactly the rest of it.
bool IsMbapFrame(const std::uint8_t* bytes, int count);
// The function code of a request in either framing (0 when not known).
std::uint8_t RequestFunction(const std::uint8_t* request, int requestLength);

// The reply length a Modbus request asks for (0 when not known).
int ExpectedReplyLength(const std::uint8_t* request, int requestLength);

inline constexpr std::uint8_t kModbusReadHolding = 3;
inline constexpr std::uint8_t kBootAck = 0x79;
inline constexpr std::uint8_t kBootNack = 0x1F;
