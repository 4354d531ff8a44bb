#include "MODBUS_RTU.h"

#include <algorithm>
#include <utility>

#include "ModbusTcpFrame.h"
#include "QuietLine.h"
#include "RegisterMap.h"
#include "TickClock.h"
#include "TrafficTap.h"
#include "ZQ_ComDrv.h"

// The replies are judged as the module's firmware and the console's peers expect, quirks
// included (the CRC covers everything accumulated; address, function and byte count are not
// tested). Out-of-range inputs, which the console never produces, are clamped so that nothing
// is read or written outside RxBuffer, ReplyWords or the register image; each such decision is
// marked "Bounds:" below.

namespace {

constexpr int kRxCapacity = VEVErizEvezad::kRxBufferSize;
constexpr int kFrameSize = 8;
constexpr int kExceptionReplySize = 5;  // station, function | 0x80, code, CRC
constexpr int kMbapRequestSize = 12;    // header 7 bytes, PDU 5 bytes
constexpr std::size_t kWritePduBytes = 5;
constexpr std::uint8_t kWriteFunction = 6;
constexpr int kWriteWaitPolls = 25;
constexpr std::uint32_t kWriteWaitPauseMs = 2;
constexpr int kEchoBytesBeforeCompare = 6;
constexpr int kWriteAttempts = 6;
constexpr std::uint32_t kWriteRetryPauseMs = 100;
constexpr std::uint32_t kEchoWaitLimitMs = 1000;
constexpr std::uint64_t kBitsPerCharacter = 11;  // start, 8 data, parity, stop

// The last word CheckReadReply can fill lies well inside RxBuffer.
static_assert(4 + 2 * (kReplyWordsCapacity - 1) < kRxCapacity);

// Bounds: RxCount is public and a client may set it above the buffer's 1024 bytes. It is
// taken as at most 1024 (all the buffer can hold) wherever it decides which bytes are read.
int AccumulatedBytes(const VEVErizEvezad& driver) {
    return std::min<int>(driver.RxCount, kRxCapacity);
}

// The last two accumulated bytes are the CRC of all before them. Bounds: with fewer than 2
// bytes there is no CRC to compare (RxCount - 2 would be negative): false.
bool EndsWithItsCrc(const VEVErizEvezad& driver) {
    const int rxCount = AccumulatedBytes(driver);
    if (rxCount < 2) {
        return false;
    }
    const std::uint8_t* rx = driver.RxBuffer;
    const std::uint16_t crc = Crc16(rx, static_cast<std::uint16_t>(rxCount - 2));
    return rx[rxCount - 2] == static_cast<std::uint8_t>(crc & 0xFFu) &&
           rx[rxCount - 1] == static_cast<std::uint8_t>(crc >> 8);
}

// Milliseconds that bytes take on the line at baud.
std::uint32_t WireMs(int bytes, std::uint32_t baud) {
    const std::uint64_t bits = static_cast<std::uint64_t>(std::max(bytes, 0)) * kBitsPerCharacter;
    return static_cast<std::uint32_t>((bits * 1000 + baud - 1) / std::max<std::uint32_t>(baud, 1));
}

// Bounds: register numbers are signed 32-bit; "+ 2200" wraps in two's complement as 32-bit
// integer arithmetic on the wire always has, instead of overflowing (undefined in C++).
std::int32_t WireAddress(std::int32_t reg, bool plcCan) {
    if (!plcCan) {
        return reg;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(reg) +
                                     static_cast<std::uint32_t>(kPlcCanAddressOffset));
}

// Two-byte field from a signed 32-bit number: high = low 8 bits of (n / 256, truncated toward
// zero), low = low 8 bits of n. So -1 gives 00 FF and 70000 gives 11 70.
void PutField(std::uint8_t* at, std::int32_t n) {
    at[0] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(n / 256) & 0xFFu);
    at[1] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(n) & 0xFFu);
}

// Builds the 8-byte request in place: station, function, two fields, CRC low, CRC high.
void BuildFrame(std::uint8_t* frame, std::uint8_t station, std::uint8_t function,
                std::int32_t first, std::int32_t second) {
    frame[0] = station;
    frame[1] = function;
    PutField(frame + 2, first);
    PutField(frame + 4, second);
    const std::uint16_t crc = Crc16(frame, 6);
    frame[6] = static_cast<std::uint8_t>(crc & 0xFFu);
    frame[7] = static_cast<std::uint8_t>(crc >> 8);
}

// The same request as an MBAP frame: transaction, protocol 0, length 6, unit, PDU.
void BuildMbapRequest(std::uint8_t (&frame)[kMbapRequestSize], std::uint16_t transaction,
                      std::uint8_t unit, std::uint8_t function, std::int32_t first,
                      std::int32_t second) {
    frame[0] = static_cast<std::uint8_t>(transaction >> 8);
    frame[1] = static_cast<std::uint8_t>(transaction & 0xFFu);
    frame[2] = 0;
    frame[3] = 0;
    frame[4] = 0;
    frame[5] = 6;
    frame[6] = unit;
    frame[7] = function;
    PutField(frame + 8, first);
    PutField(frame + 10, second);
}

}  // namespace

RtuMaster::RtuMaster(VEVErizEvezad& driver, TickClock& clock, RegisterImageWords& image,
                     StationSource station, PlcCanSource plcCan)
    : driver_(driver),
      clock_(clock),
      image_(image),
      station_(std::move(station)),
      plcCan_(std::move(plcCan)) {}

void RtuMaster::ReportReply(bool taken) {
    if (tap_ != nullptr) {
        tap_->ReplyJudged(driver_.RxBuffer, AccumulatedBytes(driver_), taken);
    }
}

void RtuMaster::ReportWrite(int attempts, bool written) {
    if (tap_ != nullptr) {
        tap_->WriteFinished(attempts, written);
    }
}

void RtuMaster::ReportSent(const std::uint8_t* frame, int count) {
    if (tap_ != nullptr) {
        tap_->FrameSent(frame, count);
    }
}

std::uint16_t Crc16(const std::uint8_t* data, std::uint16_t length) {
    std::uint16_t crc = 0xFFFF;
    // Bounds: no bytes (length 0, or no data at all) leave the start value.
    if (data == nullptr) {
        return crc;
    }
    for (std::uint16_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ data[i]);
        for (int bit = 0; bit < 8; ++bit) {
            if ((crc & 1u) != 0) {
                crc = static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u);
            } else {
                crc = static_cast<std::uint16_t>(crc >> 1);
            }
        }
    }
    return crc;
}

int RtuMaster::SendRequest(std::uint8_t (&frame)[12], std::uint8_t function, std::int32_t first,
                           std::int32_t second) {
    const int owedBytes = readAwaited_ ? JudgeSupersededRead() : 0;
    AwaitQuietLine(driver_, clock_, owedBytes);
    const std::uint8_t station = station_();
    const std::int32_t address = WireAddress(first, plcCan_());
    int size = kFrameSize;
    if (driver_.ModbusTcpLine()) {
        ++transaction_;
        requestUnit_ = station;
        requestFunction_ = function;
        BuildMbapRequest(frame, transaction_, station, function, address, second);
        size = kMbapRequestSize;
    } else {
        BuildFrame(frame, station, function, address, second);
    }
    driver_.SendData(frame, size);
    ReportSent(frame, size);
    driver_.RxCount = 0;
    readSentMs_ = clock_.tickCount();
    return size;
}

int RtuMaster::JudgeSupersededRead() {
    readAwaited_ = false;
    driver_.PollReceive();
    // A correct complete reply the cycle had not yet taken is no fault of the line: it counts
    // as answered, although the new request discards it as before.
    const bool tcp = driver_.ModbusTcpLine();
    const bool complete =
        tcp ? JudgeMbap(2u + ExpectedBytes) == vr7c::net::MbapVerdict::Good : RtuReplyComplete();
    if (complete) {
        ReadAnswered();
    }
    ReportReply(complete);
    // A Modbus TCP line passes over a late reply by its transaction id; a serial line must let
    // a reply that has begun end before the next request goes out.
    const int arrived = AccumulatedBytes(driver_);
    if (tcp || complete || arrived == 0) {
        return 0;
    }
    const bool exception = arrived >= 2 && (driver_.RxBuffer[1] & 0x80u) != 0;
    const int replyBytes = exception ? kExceptionReplySize : RtuReplyBytes();
    return std::max(replyBytes - arrived, 0);
}

bool RtuMaster::RtuReplyComplete() const {
    return AccumulatedBytes(driver_) >= RtuReplyBytes() && EndsWithItsCrc(driver_);
}

void RtuMaster::ReadAnswered() {
    // The reply was complete when its last bytes came in; what it took beyond its own wire
    // time is the module's (or the bridge's) latency.
    const std::uint32_t completeMs = clock_.tickCount() - driver_.MillisecondsSinceArrival();
    const std::uint32_t taken = completeMs - readSentMs_;
    const std::uint32_t wire = WireMs(AccumulatedBytes(driver_), driver_.BaudRate());
    // A reply whose last bytes came in before the request went out is no measurement.
    if (static_cast<std::int32_t>(taken) < 0) {
        return;
    }
    latencies_[latencyNext_] = taken > wire ? taken - wire : 0;
    latencyNext_ = (latencyNext_ + 1) % kLatencyMemory;
    latencyCount_ = std::min(latencyCount_ + 1, kLatencyMemory);
}

int RtuMaster::EchoWaitPolls() const {
    if (latencyCount_ == 0) {
        return kWriteWaitPolls;
    }
    // The largest of the recent latencies, not an average: a module whose answers vary is
    // waited for as long as it has lately needed, so that an echo on its way is not taken for
    // a lost write and sent again; a single slow answer ages out after a few polls.
    const std::uint32_t latency = *std::max_element(latencies_, latencies_ + latencyCount_);
    const int echoBytes = driver_.ModbusTcpLine() ? kMbapRequestSize : kFrameSize;
    const std::uint32_t waitMs =
        std::min(latency + WireMs(echoBytes, driver_.BaudRate()), kEchoWaitLimitMs);
    const int polls = static_cast<int>((waitMs + kWriteWaitPauseMs - 1) / kWriteWaitPauseMs);
    return std::max(polls, kWriteWaitPolls);
}

vr7c::net::MbapVerdict RtuMaster::JudgeMbap(std::size_t replyPduBytes,
                                            std::span<const std::uint8_t>* pdu) {
    for (;;) {
        const vr7c::net::MbapJudgement judged = vr7c::net::JudgeMbapReply(
            driver_.PeekReceived(), transaction_, requestUnit_, requestFunction_, replyPduBytes);
        if (judged.verdict == vr7c::net::MbapVerdict::WrongTransaction) {
            // A late reply to an earlier request: passed over, what follows it is judged.
            const int rest = AccumulatedBytes(driver_) - static_cast<int>(judged.frameBytes);
            std::copy_n(driver_.RxBuffer + judged.frameBytes, rest, driver_.RxBuffer);
            driver_.RxCount = static_cast<std::uint16_t>(rest);
            continue;
        }
        lastException_ =
            judged.verdict == vr7c::net::MbapVerdict::Exception ? judged.exceptionCode : 0;
        if (pdu != nullptr) {
            *pdu = judged.pdu;
        }
        return judged.verdict;
    }
}

void RtuMaster::SendReadRequest(std::int32_t start, std::int32_t count, std::uint8_t function) {
    std::uint8_t frame[kMbapRequestSize];
    SendRequest(frame, function, start, count);
    // Bounds: 2 × count keeps its low 16 bits (ExpectedBytes is a 16-bit
    // count), computed without signed overflow. Negative or huge counts thus give some
    // 16-bit number; the copies below are clamped separately.
    ExpectedBytes = static_cast<std::uint16_t>((static_cast<std::uint32_t>(count) * 2u) & 0xFFFFu);
    readAwaited_ = true;
}

void RtuMaster::CheckReadReply() {
    if (driver_.ModbusTcpLine()) {
        // The PDU of a good reply is function, byte count and exactly the words asked for.
        std::span<const std::uint8_t> pdu;
        ReplyOk = JudgeMbap(2u + ExpectedBytes, &pdu) == vr7c::net::MbapVerdict::Good;
        const int words = std::min<int>(ExpectedBytes / 2, kReplyWordsCapacity);
        for (int i = 0; ReplyOk && i < words; ++i) {
            ReplyWords[i] = static_cast<std::uint16_t>(pdu[2 + 2 * i] * 256 + pdu[3 + 2 * i]);
        }
        return;
    }
    if (!EndsWithItsCrc(driver_)) {
        ReplyOk = false;
        return;
    }
    const std::uint8_t* rx = driver_.RxBuffer;
    // Bounds: at most kReplyWordsCapacity (125) words are unpacked, whatever ExpectedBytes
    // says. Bytes 3 to 252 always lie inside RxBuffer (possibly beyond RxCount, holding older
    // traffic).
    const int words = std::min<int>(ExpectedBytes / 2, kReplyWordsCapacity);
    for (int i = 0; i < words; ++i) {
        ReplyWords[i] = static_cast<std::uint16_t>(rx[3 + 2 * i] * 256 + rx[4 + 2 * i]);
    }
    ReplyOk = true;
}

bool RtuMaster::TakeReadReply(std::int32_t index) {
    const bool complete = driver_.ModbusTcpLine()
                              ? JudgeMbap(2u + ExpectedBytes) != vr7c::net::MbapVerdict::Incomplete
                              : AccumulatedBytes(driver_) >= RtuReplyBytes();
    if (!complete) {
        return false;
    }
    CheckReadReply();
    if (!ReplyOk) {
        return false;
    }
    // Bounds: the words go to the image's word index + i for i below ExpectedBytes / 2, but
    // only words that exist in ReplyWords (at most 125) and only targets inside the image
    // (0 to 100) are copied; the rest is dropped. A good reply still gives true.
    const int words = std::min<int>(ExpectedBytes / 2, kReplyWordsCapacity);
    const std::int64_t first = std::max<std::int64_t>(0, -static_cast<std::int64_t>(index));
    const std::int64_t last = std::min<std::int64_t>(
        words, static_cast<std::int64_t>(kRegisterImageSize) - static_cast<std::int64_t>(index));
    for (std::int64_t i = first; i < last; ++i) {
        image_[static_cast<std::size_t>(index + i)] = ReplyWords[i];
    }
    if (readAwaited_) {
        readAwaited_ = false;
        ReadAnswered();
    }
    ReportReply(true);
    return true;
}

bool RtuMaster::WriteRegisterOnce(std::int32_t reg, std::int32_t value, std::uint8_t function) {
    // Bounds: a value outside 0 to 65535 follows the same field rule as the register number.
    std::uint8_t frame[kMbapRequestSize];
    const int size = SendRequest(frame, function, reg, value);
    const bool tcp = size == kMbapRequestSize;
    // On Modbus TCP the whole echo frame is awaited: it is judged by its length.
    const int awaited = tcp ? kMbapRequestSize : kEchoBytesBeforeCompare;
    const int polls = EchoWaitPolls();
    for (int poll = 0; poll < polls && driver_.RxCount < awaited; ++poll) {
        clock_.sleep(kWriteWaitPauseMs);
        driver_.PollReceive();
    }
    if (tcp) {
        // The echo's PDU must repeat the request's: function, address and value.
        std::span<const std::uint8_t> pdu;
        const bool echoed = JudgeMbap(kWritePduBytes, &pdu) == vr7c::net::MbapVerdict::Good &&
                            std::equal(frame + 7, frame + 12, pdu.begin());
        ReportReply(echoed);
        return echoed;
    }
    // Bytes 1 to 4 are compared even when fewer arrived (earlier traffic then stands there);
    // positions 1 to 4 are always inside RxBuffer, whatever RxCount says.
    const bool echoed =
        driver_.RxCount != 0 && std::equal(frame + 1, frame + 5, driver_.RxBuffer + 1);
    ReportReply(echoed);
    return echoed;
}

bool RtuMaster::WriteRegister(std::int32_t reg, std::uint16_t value) {
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (WriteRegisterOnce(reg, value, kWriteFunction)) {
            ReportWrite(attempt + 1, true);
            return true;
        }
        clock_.sleep(kWriteRetryPauseMs);
    }
    ReportWrite(kWriteAttempts, false);
    return false;
}

void RtuMaster::AbandonReadRequest() {
    if (readAwaited_) {
        readAwaited_ = false;
        ReportReply(false);
    }
}
