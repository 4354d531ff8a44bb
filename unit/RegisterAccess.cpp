#include "RegisterAccess.h"

#include <QString>

#include <algorithm>
#include <span>

#include "LinePort.h"
#include "ModbusTcpFrame.h"
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
    const std::span<const std::uint8_t> rx = driver_.PeekReceived();
    if (rx.size() != 5 || rx[1] != (function | 0x80)) {
        return false;
    }
    const std::uint16_t crc = Crc16(rx.data(), 3);
    if (rx[3] != (crc & 0xFF) || rx[4] != (crc >> 8)) {
        return false;
    }
    code = rx[2];
    return true;
}

// The module's own exceptions by number; a Modbus TCP gateway's (0x0A, 0x0B) as such.
QString RegisterAccess::ExceptionText(int code) {
    if (code == vr7c::net::kGatewayPathUnavailable || code == vr7c::net::kGatewayTargetFailed) {
        return QStringLiteral("gateway answered exception %1 (%2)")
            .arg(code)
            .arg(QString::fromLatin1(
                vr7c::net::ModbusExceptionText(static_cast<std::uint8_t>(code))));
    }
    return QStringLiteral("module answered exception %1").arg(code);
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
    const bool tcp = driver_.ModbusTcpLine();
    WaitOnLine(driver_, clock_, timeoutMs, [&] {
        if (!tcp && ExceptionReply(3, exception)) {
            return true;
        }
        if (!master_.TakeReadReply(first)) {
            exception = master_.LastException();
            return exception != 0;
        }
        // On Modbus TCP the master has matched the reply's transaction, unit and length.
        if (tcp) {
            taken = true;
            return true;
        }
        // A late reply of another station (one that a scan gave up on) is dropped.
        const std::span<const std::uint8_t> rx = driver_.PeekReceived();
        taken = rx[0] == station_ && rx[1] == 3 && rx[2] == 2 * count;
        if (!taken) {
            driver_.DropReceived();
        }
        return taken;
    });
    if (exception != 0) {
        return Outcome::Fail(kExitRefused, ExceptionText(exception));
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
        if (master_.LastException() != 0) {
            return Outcome::Fail(kExitRefused, QStringLiteral("register %1: %2")
                                                   .arg(reg)
                                                   .arg(ExceptionText(master_.LastException())));
        }
        return Outcome::Fail(kExitNoReply, QStringLiteral("register %1: write not confirmed by "
                                                          "station %2")
                                               .arg(reg)
                                               .arg(station_));
    }
    if (driver_.ModbusTcpLine()) {
        return Outcome::Ok();  // the whole echo frame was judged
    }
    // The write is judged on the first six bytes of its echo; the last two still arrive, and
    // are taken in here so that they cannot stand in front of the next reply.
    constexpr int kEchoBytes = 8;
    const auto restMs = static_cast<std::uint32_t>(
                            WireMicros(kEchoBytes, kBaudRateTable[driver_.ComPortSpeed()]) / 1000) +
                        5;
    WaitOnLine(driver_, clock_, restMs,
               [&] { return driver_.PeekReceived().size() >= kEchoBytes; });
    return Outcome::Ok();
}
