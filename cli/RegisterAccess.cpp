#include "RegisterAccess.h"

#include <QString>

#include <algorithm>

#include "LinePort.h"
#include "RegisterMap.h"
#include "ZQ_ComDrv.h"

RegisterAccess::RegisterAccess(VEVErizEvezad& driver, TickClock& clock, std::uint8_t station,
                               bool plcCan)
    : driver_(driver),
      clock_(clock),
      station_(station),
      plcCan_(plcCan),
      master_(
          driver, clock, image_, [this] { return station_; }, [this] { return plcCan_; }) {}

RegisterAccess::~RegisterAccess() = default;

// An exception reply: station, function with its top bit set, code, CRC.
bool RegisterAccess::ExceptionReply(std::uint8_t function, int& code) const {
    if (driver_.RxCount != 5 || driver_.RxBuffer[1] != (function | 0x80)) {
        return false;
    }
    const std::uint16_t crc = Crc16(driver_.RxBuffer, 3);
    if (driver_.RxBuffer[3] != (crc & 0xFF) || driver_.RxBuffer[4] != (crc >> 8)) {
        return false;
    }
    code = driver_.RxBuffer[2];
    return true;
}

Outcome RegisterAccess::Read(int first, int count, std::uint32_t timeoutMs, std::uint16_t* out) {
    // Bounds: the reply lands in the image from `first` on.
    if (first < 0 || count < 1 || first + count > kReadableRegisters) {
        return Outcome::Fail(
            kExitUsage,
            QStringLiteral("registers %1..%2 are outside 0..99").arg(first).arg(first + count - 1));
    }
    master_.SendReadRequest(first, count, 3);
    int exception = 0;
    bool taken = false;
    WaitOnLine(driver_, clock_, timeoutMs, [&] {
        if (ExceptionReply(3, exception)) {
            return true;
        }
        if (!master_.TakeReadReply(first)) {
            return false;
        }
        // A late reply of another station (one that a scan gave up on) is dropped.
        taken = driver_.RxBuffer[0] == station_ && driver_.RxBuffer[1] == 3 &&
                driver_.RxBuffer[2] == 2 * count;
        if (!taken) {
            driver_.RxCount = 0;
        }
        return taken;
    });
    if (exception != 0) {
        return Outcome::Fail(kExitRefused,
                             QStringLiteral("module answered exception %1").arg(exception));
    }
    if (!taken) {
        return Outcome::Fail(kExitNoReply,
                             QStringLiteral("no reply from station %1").arg(station_));
    }
    std::copy_n(image_.begin() + first, count, out);
    return Outcome::Ok();
}

Outcome RegisterAccess::Write(int reg, std::uint16_t value) {
    if (!master_.WriteRegister(reg, value)) {
        return Outcome::Fail(kExitNoReply, QStringLiteral("register %1: write not confirmed by "
                                                          "station %2")
                                               .arg(reg)
                                               .arg(station_));
    }
    // The write is judged on the first six bytes of its echo; the last two still arrive, and
    // are taken in here so that they cannot stand in front of the next reply.
    constexpr int kEchoBytes = 8;
    const auto restMs = static_cast<std::uint32_t>(
                            WireMicros(kEchoBytes, kBaudRateTable[driver_.ComPortSpeed()]) / 1000) +
                        5;
    WaitOnLine(driver_, clock_, restMs, [&] { return driver_.RxCount >= kEchoBytes; });
    return Outcome::Ok();
}
