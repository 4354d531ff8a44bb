#include "ReplyJudge.h"

#include <algorithm>

#include "MODBUS_RTU.h"
#include "ModbusTcpFrame.h"

namespace {

constexpr int kRequestLength = 8;
constexpr int kExceptionLength = 5;
constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::uint8_t kReadInput = 4;
constexpr std::uint8_t kWriteSingle = 6;
// Bytes 1 to 4 of an echo are compared with the request; fewer than that cannot match.
constexpr int kEchoCompared = 5;

std::uint16_t Count16(int n) {
    return static_cast<std::uint16_t>(std::clamp(n, 0, 0xFFFF));
}

bool IsException(const std::uint8_t* bytes, int count) {
    return count >= kExceptionLength && (bytes[1] & kExceptionFlag) != 0 &&
           IsModbusFrame(bytes, kExceptionLength);
}

// A reply to a Modbus TCP request, judged by transaction, unit, function and length.
Judgement JudgeMbap(const std::uint8_t* request, const std::uint8_t* reply, int count, bool taken) {
    if (taken) {
        return {Verdict::Good, 0};
    }
    if (reply == nullptr || count <= 0) {
        return {Verdict::Timeout, 0};
    }
    const std::uint8_t function = request[7];
    const std::size_t pduBytes =
        function == kWriteSingle
            ? 5u
            : 2u + 2u * static_cast<std::size_t>(request[10] * 256 + request[11]);
    const vr7c::net::MbapJudgement judged = vr7c::net::JudgeMbapReply(
        {reply, static_cast<std::size_t>(count)},
        static_cast<std::uint16_t>(request[0] * 256 + request[1]), request[6], function, pduBytes);
    using vr7c::net::MbapVerdict;
    switch (judged.verdict) {
        case MbapVerdict::Incomplete:
            return {Verdict::Incomplete, Count16(count)};
        case MbapVerdict::Good:
            return {function == kWriteSingle ? Verdict::EchoMismatch : Verdict::Late, 0};
        case MbapVerdict::Exception:
            return {Verdict::Exception, judged.exceptionCode};
        case MbapVerdict::WrongTransaction:
        case MbapVerdict::WrongUnit:
        case MbapVerdict::WrongFunction:
            return {Verdict::Foreign, 0};
        case MbapVerdict::ExtraBytes:
            return {Verdict::ExtraBytes, Count16(count - static_cast<int>(judged.frameBytes))};
        case MbapVerdict::BadHeader:
        case MbapVerdict::BadLength:
            break;
    }
    return {Verdict::Rejected, Count16(count)};
}

}  // namespace

bool IsMbapRequest(const std::uint8_t* request, int requestLength) {
    return request != nullptr && requestLength == kMbapRequestLength && request[2] == 0 &&
           request[3] == 0 && request[4] == 0 && request[5] == 6;
}

bool IsMbapFrame(const std::uint8_t* bytes, int count) {
    return bytes != nullptr && count >= 8 && bytes[2] == 0 && bytes[3] == 0 &&
           bytes[4] * 256 + bytes[5] == count - 6;
}

std::uint8_t RequestFunction(const std::uint8_t* request, int requestLength) {
    if (IsMbapRequest(request, requestLength)) {
        return request[7];
    }
    return request != nullptr && requestLength >= 2 ? request[1] : 0;
}

bool IsModbusFrame(const std::uint8_t* bytes, int count) {
    if (bytes == nullptr || count < 4 || count > 0xFFFF) {
        return false;
    }
    const std::uint16_t crc = Crc16(bytes, static_cast<std::uint16_t>(count - 2));
    return bytes[count - 2] == static_cast<std::uint8_t>(crc & 0xFFu) &&
           bytes[count - 1] == static_cast<std::uint8_t>(crc >> 8);
}

int ExpectedReplyLength(const std::uint8_t* request, int requestLength) {
    if (request == nullptr || requestLength < kRequestLength) {
        return 0;
    }
    switch (request[1]) {
        case kModbusReadHolding:
        case kReadInput:
            return 2 * (request[4] * 256 + request[5]) + 5;
        case kWriteSingle:
            return kRequestLength;
        default:
            return 0;
    }
}

Judgement JudgeModbusReply(const std::uint8_t* request, int requestLength,
                           const std::uint8_t* reply, int count, bool taken) {
    if (IsMbapRequest(request, requestLength)) {
        return JudgeMbap(request, reply, count, taken);
    }
    if (reply == nullptr || count <= 0) {
        return {taken ? Verdict::Good : Verdict::Timeout, 0};
    }
    const bool known = request != nullptr && requestLength >= kRequestLength;
    if (taken) {
        // The master tests neither station nor function of a read reply; say when either
        // differs from the request.
        const bool foreign = known && count >= 2 && request[1] != kWriteSingle &&
                             (reply[0] != request[0] || reply[1] != request[1]);
        return {foreign ? Verdict::Foreign : Verdict::Good, 0};
    }
    if (IsException(reply, count)) {
        return {Verdict::Exception, reply[2]};
    }
    if (count > kExceptionLength &&
        IsException(reply + count - kExceptionLength, kExceptionLength)) {
        return {Verdict::Exception, reply[count - kExceptionLength + 2]};
    }
    const int expected = ExpectedReplyLength(request, requestLength);
    if (known && request[1] == kWriteSingle) {
        return {count < kEchoCompared ? Verdict::Incomplete : Verdict::EchoMismatch, 0};
    }
    if (expected == 0) {
        return {Verdict::Rejected, 0};
    }
    if (count < expected) {
        return {Verdict::Incomplete, Count16(count)};
    }
    if (count == expected) {
        return {IsModbusFrame(reply, count) ? Verdict::Late : Verdict::BadCrc, 0};
    }
    const int extra = count - expected;
    if (IsModbusFrame(reply + extra, expected)) {
        return {Verdict::LeadingBytes, Count16(extra)};
    }
    if (IsModbusFrame(reply, expected)) {
        return {Verdict::ExtraBytes, Count16(extra)};
    }
    return {Verdict::BadCrc, 0};
}

Judgement JudgeBootloaderReply(const std::uint8_t* reply, int count, bool taken) {
    if (taken) {
        return {Verdict::Good, 0};
    }
    if (reply == nullptr || count <= 0) {
        return {Verdict::Timeout, 0};
    }
    if (reply[0] == kBootNack || reply[count - 1] == kBootNack) {
        return {Verdict::Nack, 0};
    }
    return {Verdict::Rejected, Count16(count)};
}
