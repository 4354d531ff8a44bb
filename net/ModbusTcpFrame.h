#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vr7c::net {

// Modbus TCP framing: the MBAP header (transaction id, protocol id 0, length of what follows,
// unit id) in front of the same PDU (function code and data) that RTU frames carry, without a
// CRC; TCP itself guards the bytes.
inline constexpr std::size_t kMbapHeaderBytes = 7;
// The length field counts the unit id and the PDU; a PDU is 1 to 253 bytes.
inline constexpr std::uint16_t kMbapMinLength = 2;
inline constexpr std::uint16_t kMbapMaxLength = 254;
inline constexpr std::size_t kMbapMaxFrameBytes = 6 + kMbapMaxLength;

// Exceptions a gateway adds to the module's own.
inline constexpr std::uint8_t kGatewayPathUnavailable = 0x0A;
inline constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

struct MbapHeader {
    std::uint16_t transaction = 0;
    std::uint16_t protocol = 0;
    std::uint16_t length = 0;  // bytes after the length field: the unit id and the PDU
    std::uint8_t unit = 0;
};

// Appends the frame for `pdu` (function code first) to `out`; gives the frame's size.
std::size_t BuildMbapFrame(std::uint16_t transaction, std::uint8_t unit,
                           std::span<const std::uint8_t> pdu, std::vector<std::uint8_t>& out);

// The header at the start of `bytes`; false while fewer than seven bytes are there.
bool ReadMbapHeader(std::span<const std::uint8_t> bytes, MbapHeader* header);

// How a reply in the received bytes stands, for the request it should answer.
enum class MbapVerdict : std::uint8_t {
    Incomplete,        // not all of the frame has arrived yet
    Good,              // the awaited reply, whole, with nothing after it
    Exception,         // an exception reply to the request (code in exceptionCode)
    WrongTransaction,  // a whole frame for another transaction (a late reply)
    WrongUnit,         // the right transaction, another unit id
    WrongFunction,     // the right transaction and unit, another function code
    BadHeader,         // protocol id not 0, or a length outside 2 to 254
    BadLength,         // the frame's length is not that of the awaited reply
    ExtraBytes,        // the awaited reply, followed by more bytes
};

struct MbapJudgement {
    MbapVerdict verdict = MbapVerdict::Incomplete;
    std::uint8_t exceptionCode = 0;
    // The bytes of the first frame (header and PDU) once its length is known and valid, so
    // that a stream can skip it; 0 otherwise.
    std::size_t frameBytes = 0;
    // With Good: the PDU (function code first) inside the received bytes.
    std::span<const std::uint8_t> pdu;
};

// Judges `received` (everything accumulated since the request) as the reply to a request with
// this transaction id, unit id and function code whose good reply PDU is `replyPduBytes` long
// (1 + 1 + 2n for a read of n registers, 5 for a single-register write).
MbapJudgement JudgeMbapReply(std::span<const std::uint8_t> received, std::uint16_t transaction,
                             std::uint8_t unit, std::uint8_t function, std::size_t replyPduBytes);

// What a gateway's and the module's exception codes mean, in English
// ("gateway target device failed to respond").
const char* ModbusExceptionText(std::uint8_t code);

}  // namespace vr7c::net
