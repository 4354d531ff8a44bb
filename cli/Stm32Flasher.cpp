#include "Stm32Flasher.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "FirmwareImage.h"
#include "LinePort.h"
#include "Stm32Protocol.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

using namespace stm32;

namespace {

// The flash-size register is followed by the 96-bit unique device ID at 0x1FFFF7E8.
constexpr int kIdentityBytes = 20;
constexpr int kUniqueIdOffset = 8;
constexpr int kUniqueIdBytes = 12;

// Time an STM32F1 may take for a page erase, and for programming a block of 256 bytes.
constexpr std::uint32_t kPageEraseMs = 40;
constexpr std::uint32_t kBlockProgramMs = 10;

QString Hex(const std::uint8_t* bytes, int count) {
    return QByteArray(reinterpret_cast<const char*>(bytes), count).toHex().toUpper();
}

}  // namespace

void Stm32Flasher::Send(const std::uint8_t* bytes, int count) {
    driver_.RxCount = 0;
    driver_.SendData(bytes, count);
}

bool Stm32Flasher::Await(int count, std::uint32_t timeoutMs) {
    return WaitOnLine(driver_, clock_, timeoutMs, [&] { return driver_.RxCount >= count; });
}

Outcome Stm32Flasher::Silent(const char* what) const {
    return Outcome::Fail(kExitNoReply,
                         QStringLiteral("bootloader did not answer %1").arg(QLatin1String(what)));
}

Outcome Stm32Flasher::Refused(const char* what) const {
    return Outcome::Fail(kExitRefused,
                         QStringLiteral("bootloader refused %1").arg(QLatin1String(what)));
}

Outcome Stm32Flasher::SendForAck(const std::uint8_t* bytes, int count, std::uint32_t timeoutMs,
                                 const char* what) {
    Send(bytes, count);
    if (!Await(1, timeoutMs)) {
        return Silent(what);
    }
    return driver_.RxBuffer[0] == ACK ? Outcome::Ok() : Refused(what);
}

Outcome Stm32Flasher::Command(std::uint8_t command, std::uint32_t timeoutMs, const char* what) {
    const std::uint8_t frame[2] = {command, static_cast<std::uint8_t>(~command)};
    return SendForAck(frame, 2, timeoutMs, what);
}

Outcome Stm32Flasher::Connect(const FlashRequest& request, FlashReport& report) {
    for (int attempt = 0; attempt < request.attempts; ++attempt) {
        // The module's wiring starts its system bootloader on this sequence of the modem lines.
        driver_.SetDTR(true);
        driver_.SetRTS(true);
        clock_.sleep(request.linePauseMs);
        driver_.SetDTR(false);
        clock_.sleep(request.linePauseMs);
        const std::uint8_t sync = SYNC;
        Send(&sync, 1);
        // Noise may come before the answer; the last byte counts.
        const bool answered = Await(1, request.replyTimeoutMs) &&
                              WaitOnLine(driver_, clock_, request.replyTimeoutMs, [&] {
                                  const std::uint8_t b = driver_.RxBuffer[driver_.RxCount - 1];
                                  return b == ACK || b == NACK;
                              });
        if (!answered) {
            continue;
        }
        if (driver_.RxBuffer[driver_.RxCount - 1] != ACK) {
            return Refused("the synchronisation byte");
        }
        return Identify(request, report);
    }
    return Silent("the synchronisation byte");
}

Outcome Stm32Flasher::AwaitListing(std::uint8_t command, std::uint32_t timeoutMs, const char* what,
                                   int& length) {
    const std::uint8_t frame[2] = {command, static_cast<std::uint8_t>(~command)};
    Send(frame, 2);
    if (!Await(1, timeoutMs)) {
        return Silent(what);
    }
    if (driver_.RxBuffer[0] != ACK) {
        return Refused(what);
    }
    if (!Await(2, timeoutMs)) {
        return Silent(what);
    }
    length = driver_.RxBuffer[1] + 4;
    if (!Await(length, timeoutMs)) {
        return Silent(what);
    }
    return driver_.RxBuffer[length - 1] == ACK ? Outcome::Ok() : Refused(what);
}

Outcome Stm32Flasher::Identify(const FlashRequest& request, FlashReport& report) {
    // Get: ACK, count less one, version, the command codes, ACK.
    int getLength = 0;
    Outcome step = AwaitListing(CMD_GET, request.replyTimeoutMs, "Get", getLength);
    if (!step.ok()) {
        return step;
    }
    std::array<std::uint8_t, 260> listing{};
    std::memcpy(listing.data(), driver_.RxBuffer, static_cast<std::size_t>(getLength));
    report.bootloaderVersion = listing[2];
    const auto* codes = listing.data() + 3;
    const auto* codesEnd = listing.data() + getLength - 1;
    for (const std::uint8_t needed : {CMD_READ_MEMORY, CMD_WRITE_MEMORY, CMD_ERASE, CMD_GO}) {
        if (std::find(codes, codesEnd, needed) == codesEnd) {
            return Outcome::Fail(kExitRefused,
                                 QStringLiteral("bootloader does not offer command 0x%1")
                                     .arg(needed, 2, 16, QChar('0')));
        }
    }

    // Get ID: ACK, count less one, the product ID, ACK.
    int idLength = 0;
    step = AwaitListing(CMD_GET_ID, request.replyTimeoutMs, "Get ID", idLength);
    if (!step.ok()) {
        return step;
    }
    const QString productId = Hex(driver_.RxBuffer + 2, idLength - 3);

    // The flash size (KiB) and the unique device ID.
    std::uint8_t identity[kIdentityBytes] = {};
    const Outcome read =
        ReadMemory(FLASH_SIZE_REGISTER, kIdentityBytes, identity, request.replyTimeoutMs);
    if (!read.ok()) {
        return read;
    }
    const int kib = identity[0] | identity[1] << 8;
    report.flashKiB = kib == 0xFFFF ? 0 : kib;
    report.deviceId =
        productId + QStringLiteral("-") + Hex(identity + kUniqueIdOffset, kUniqueIdBytes);
    return Outcome::Ok();
}

Outcome Stm32Flasher::ReadMemory(std::uint32_t address, int count, std::uint8_t* out,
                                 std::uint32_t timeoutMs) {
    Outcome step = Command(CMD_READ_MEMORY, timeoutMs, "Read Memory");
    if (!step.ok()) {
        return step;
    }
    std::uint8_t frame[5];
    AddressFrame(address, frame);
    step = SendForAck(frame, 5, timeoutMs, "the read address");
    if (!step.ok()) {
        return step;
    }
    const std::uint8_t length[2] = {static_cast<std::uint8_t>(count - 1),
                                    static_cast<std::uint8_t>(~(count - 1))};
    Send(length, 2);
    if (!Await(1, timeoutMs)) {
        return Silent("the read length");
    }
    if (driver_.RxBuffer[0] != ACK) {
        return Refused("the read length");
    }
    if (!Await(1 + count, timeoutMs)) {
        return Silent("Read Memory with data");
    }
    std::memcpy(out, driver_.RxBuffer + 1, static_cast<std::size_t>(count));
    return Outcome::Ok();
}

Outcome Stm32Flasher::Erase(const FlashRequest& request) {
    Outcome step = Command(CMD_ERASE, request.replyTimeoutMs, "Erase Memory");
    if (!step.ok()) {
        return step;
    }
    std::uint8_t frame[kTxBufferSize];
    const std::size_t length = EraseFrame(static_cast<std::int32_t>(request.image.size()), frame);
    const auto pages = static_cast<std::uint32_t>(length - 2);
    return SendForAck(frame, static_cast<int>(length),
                      request.replyTimeoutMs + pages * kPageEraseMs, "the page erase");
}

Outcome Stm32Flasher::WriteBlock(std::uint32_t address, const std::uint8_t* data, int count,
                                 std::uint32_t timeoutMs) {
    Outcome step = Command(CMD_WRITE_MEMORY, timeoutMs, "Write Memory");
    if (!step.ok()) {
        return step;
    }
    std::uint8_t frame[2 + MAX_BLOCK];
    AddressFrame(address, frame);
    step = SendForAck(frame, 5, timeoutMs, "the write address");
    if (!step.ok()) {
        return step;
    }
    // The byte count less one, the data, then the XOR of both, in one write.
    frame[0] = static_cast<std::uint8_t>(count - 1);
    std::memcpy(frame + 1, data, static_cast<std::size_t>(count));
    frame[1 + count] = XorOf(frame, static_cast<std::size_t>(count + 1));
    return SendForAck(frame, count + 2, timeoutMs + kBlockProgramMs, "a data block");
}

Outcome Stm32Flasher::VerifyBlock(std::uint32_t address, const std::uint8_t* data, int count,
                                  std::uint32_t timeoutMs) {
    std::uint8_t readBack[MAX_BLOCK];
    const Outcome read = ReadMemory(address, count, readBack, timeoutMs);
    if (!read.ok()) {
        return read;
    }
    for (int i = 0; i < count; ++i) {
        if (readBack[i] != data[i]) {
            return Outcome::Fail(
                kExitMismatch, QStringLiteral("verify failed at 0x%1: wrote %2, read %3")
                                   .arg(address + static_cast<std::uint32_t>(i), 8, 16, QChar('0'))
                                   .arg(data[i], 2, 16, QChar('0'))
                                   .arg(readBack[i], 2, 16, QChar('0')));
        }
    }
    return Outcome::Ok();
}

Outcome Stm32Flasher::Go(std::uint32_t timeoutMs) {
    Outcome step = Command(CMD_GO, timeoutMs, "Go");
    if (!step.ok()) {
        return step;
    }
    std::uint8_t frame[5];
    AddressFrame(FLASH_START, frame);
    return SendForAck(frame, 5, timeoutMs, "the start address");
}

void Stm32Flasher::FinishLineSequence(std::uint32_t pauseMs) {
    driver_.SetDTR(true);
    clock_.sleep(pauseMs);
    driver_.SetRTS(false);
}

FlashReport Stm32Flasher::Run(const FlashRequest& request) {
    FlashReport report;
    const auto size = static_cast<int>(request.image.size());
    if (size <= 0 || size > kLargestErasableImage) {
        report.outcome =
            Outcome::Fail(kExitBadFile, QStringLiteral("image size %1 refused").arg(size));
        return report;
    }
    report.outcome = Connect(request, report);
    if (!report.outcome.ok()) {
        return report;
    }
    // Nothing is erased or written beyond the chip's own flash.
    if (report.flashKiB > 0 && size > report.flashKiB * 1024) {
        report.outcome = Outcome::Fail(
            kExitBadFile, QStringLiteral("image of %1 bytes does not fit the %2 KiB flash")
                              .arg(size)
                              .arg(report.flashKiB));
        return report;
    }
    auto progress = [&](const char* phase, int done) {
        if (request.progress) {
            request.progress(phase, done, size);
        }
    };
    progress("erase", 0);
    report.outcome = Erase(request);
    if (!report.outcome.ok()) {
        return report;
    }
    // Block by block through the image, 256 bytes at a time from the start of the flash.
    auto eachBlock = [&](const char* phase, auto&& step) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(request.image.constData());
        for (int offset = 0; offset < size; offset += MAX_BLOCK) {
            const int count = std::min(MAX_BLOCK, size - offset);
            const std::uint32_t address = FLASH_START + static_cast<std::uint32_t>(offset);
            report.outcome = (this->*step)(address, data + offset, count, request.replyTimeoutMs);
            if (!report.outcome.ok()) {
                return false;
            }
            progress(phase, offset + count);
        }
        return true;
    };
    if (!eachBlock("write", &Stm32Flasher::WriteBlock) ||
        (request.verify && !eachBlock("verify", &Stm32Flasher::VerifyBlock))) {
        return report;
    }
    if (request.go) {
        report.outcome = Go(request.replyTimeoutMs);
        if (!report.outcome.ok()) {
            return report;
        }
    }
    FinishLineSequence(request.linePauseMs);
    return report;
}
