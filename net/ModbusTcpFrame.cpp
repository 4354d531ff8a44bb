#include "ModbusTcpFrame.h"

namespace vr7c::net {
namespace {

constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::size_t kExceptionPduBytes = 2;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

std::size_t BuildMbapFrame(std::uint16_t transaction, std::uint8_t unit,
                           std::span<const std::uint8_t> pdu, std::vector<std::uint8_t>& out) {
    PutWord(out, transaction);
    PutWord(out, 0);
    PutWord(out, static_cast<std::uint16_t>(pdu.size() + 1));
    out.push_back(unit);
    out.insert(out.end(), pdu.begin(), pdu.end());
    return kMbapHeaderBytes + pdu.size();
}

bool ReadMbapHeader(std::span<const std::uint8_t> bytes, MbapHeader* header) {
    if (bytes.size() < kMbapHeaderBytes) {
        return false;
    }
    header->transaction = Word(bytes, 0);
    header->protocol = Word(bytes, 2);
    header->length = Word(bytes, 4);
    header->unit = bytes[6];
    return true;
}

MbapJudgement JudgeMbapReply(std::span<const std::uint8_t> received, std::uint16_t transaction,
                             std::uint8_t unit, std::uint8_t function, std::size_t replyPduBytes) {
    MbapJudgement j;
    MbapHeader header;
    if (!ReadMbapHeader(received, &header)) {
        return j;
    }
    if (header.protocol != 0 || header.length < kMbapMinLength || header.length > kMbapMaxLength) {
        // Bounds: nothing after a header like this can be trusted, so its length is not
        // used to wait for more bytes or to skip any.
        j.verdict = MbapVerdict::BadHeader;
        return j;
    }
    const std::size_t frame = 6 + std::size_t{header.length};
    j.frameBytes = frame;
    if (received.size() < frame) {
        return j;  // Incomplete
    }
    const std::span<const std::uint8_t> pdu = received.subspan(kMbapHeaderBytes, frame - 7);
    if (header.transaction != transaction) {
        j.verdict = MbapVerdict::WrongTransaction;
        return j;
    }
    if (header.unit != unit) {
        j.verdict = MbapVerdict::WrongUnit;
        return j;
    }
    if (pdu[0] == (function | kExceptionFlag)) {
        if (pdu.size() != kExceptionPduBytes) {
            j.verdict = MbapVerdict::BadLength;
            return j;
        }
        j.verdict = MbapVerdict::Exception;
        j.exceptionCode = pdu[1];
        return j;
    }
    if (pdu[0] != function) {
        j.verdict = MbapVerdict::WrongFunction;
        return j;
    }
    if (pdu.size() != replyPduBytes) {
        j.verdict = MbapVerdict::BadLength;
        return j;
    }
    j.pdu = pdu;
    j.verdict = received.size() > frame ? MbapVerdict::ExtraBytes : MbapVerdict::Good;
    return j;
}

const char* ModbusExceptionText(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return "illegal function";
        case 0x02:
            return "illegal data address";
        case 0x03:
            return "illegal data value";
        case 0x04:
            return "server device failure";
        case 0x05:
            return "acknowledge";
        case 0x06:
            return "server device busy";
        case 0x08:
            return "memory parity error";
        case kGatewayPathUnavailable:
            return "gateway path unavailable";
        case kGatewayTargetFailed:
            return "gateway target device failed to respond";
        default:
            return "unknown exception";
    }
}

}  // namespace vr7c::net
