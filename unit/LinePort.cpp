#include "LinePort.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "NetAddress.h"
#include "PortPath.h"
#include "TcpConnect.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

PortChoice ResolvePort(const QString& given, const SerialDeviceResolver& lookup) {
    PortChoice choice;
    choice.given = given;
    static const QRegularExpression comName(QStringLiteral("^COM([1-8])$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = comName.match(given);
    if (match.hasMatch()) {
        choice.byNumber = true;
        choice.number = static_cast<TComPortNumber>(match.captured(1).toInt() - 1);
        const QByteArray name = QStringLiteral("COM%1").arg(choice.number + 1).toLatin1();
        choice.device = SerialDevicePath(name.constData(), lookup);
    } else {
        choice.device = given;
    }
    return choice;
}

Outcome OpenFailure(const PortChoice& port) {
    const QByteArray path = port.device.toLocal8Bit();
    const QString where = port.given == port.device ? port.device
                                                    : port.given + QStringLiteral(" (") +
                                                          port.device + QStringLiteral(")");
    if (!QFileInfo::exists(port.device)) {
        return Outcome::Fail(kExitPortMissing, where + QStringLiteral(": no such device"));
    }
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        return Outcome::Fail(kExitPortPermission,
                             where + QStringLiteral(": permission denied (is the user in the "
                                                    "dialout group?)"));
    }
    return Outcome::Fail(kExitPortBusy, where + QStringLiteral(": port is in use"));
}

Outcome NetOpenFailure(const PortChoice& port, int openError) {
    using vr7c::net::ConnectFailure;
    const QString where = port.given == port.device ? port.device
                                                    : port.given + QStringLiteral(" (") +
                                                          port.device + QStringLiteral(")");
    if (openError == EINVAL) {
        return Outcome::Fail(kExitUsage,
                             where + QStringLiteral(": not a network line; use tcp://HOST:PORT, "
                                                    "rfc2217://HOST:PORT or "
                                                    "modbus-tcp://HOST[:PORT]"));
    }
    if (openError == EPROTONOSUPPORT) {
        return Outcome::Fail(kExitFailure,
                             where + QStringLiteral(": the server does not do RFC 2217 (COM "
                                                    "port control); try tcp://"));
    }
    const ConnectFailure failure = vr7c::net::ConnectFailureOf(openError);
    // Nobody there, a name nobody knows, or no answer in time: the port is missing.
    const bool missing = failure == ConnectFailure::Refused || failure == ConnectFailure::NoRoute ||
                         failure == ConnectFailure::NameNotFound ||
                         failure == ConnectFailure::TimedOut;
    return Outcome::Fail(
        missing ? kExitPortMissing : kExitFailure,
        where + QStringLiteral(": ") + QString::fromLatin1(vr7c::net::ConnectFailureText(failure)));
}

bool BaudRateFor(std::uint32_t baud, TComPortBaudRate& out) {
    for (int i = 0; i < 13; ++i) {
        if (kBaudRateTable[i] == baud) {
            out = static_cast<TComPortBaudRate>(i);
            return true;
        }
    }
    return false;
}

Outcome OpenPort(VEVErizEvezad& driver, const PortChoice& port, std::uint32_t baud,
                 TComPortParity parity) {
    TComPortBaudRate rate = br9600;
    if (!BaudRateFor(baud, rate)) {
        return Outcome::Fail(kExitUsage, QStringLiteral("unsupported baud rate %1").arg(baud));
    }
    if (port.byNumber) {
        driver.SetDeviceLookup([device = port.device](int) { return device; });
    }
    const bool opened = port.byNumber ? driver.Open(port.number, rate, parity)
                                      : driver.Open(port.device.toStdString(), rate, parity);
    if (!opened) {
        if (vr7c::net::LooksLikeNetAddress(port.device.toStdString())) {
            return NetOpenFailure(port, driver.LastOpenError());
        }
        return OpenFailure(port);
    }
    return Outcome::Ok();
}

bool WaitOnLine(VEVErizEvezad& driver, TickClock& clock, std::uint32_t timeoutMs,
                const std::function<bool()>& done) {
    const std::uint32_t start = clock.tickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        const std::uint32_t elapsed = clock.tickCount() - start;
        if (elapsed >= timeoutMs || !driver.Connected()) {
            return false;
        }
        const std::size_t before = driver.PeekReceived().size();
        driver.WaitReceive(timeoutMs - elapsed);
        // A port that cannot block on the device, or has hung up, answers at once: then
        // pause briefly rather than spin.
        if (driver.PeekReceived().size() == before) {
            clock.sleep(1);
        }
    }
}

double WireMicros(int characters, std::uint32_t baud, int bitsPerCharacter) {
    return characters * bitsPerCharacter * 1e6 / baud;
}
