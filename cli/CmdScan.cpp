// vr7c ports and scan: where modules can be found.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>

#include "Commands.h"
#include "ModbusSession.h"
#include "Output.h"
#include "PortList.h"

int RunPorts(const CliOptions&, const Output& out) {
    QJsonArray list;
    for (const PortLine& p : ListPorts(MachinePorts())) {
        out.Line(QStringLiteral("%1  %2  %3").arg(p.name, p.device, p.description));
        list.append(QJsonObject{{"name", p.name},
                                {"device", p.device},
                                {"description", p.description},
                                {"present", p.present}});
    }
    out.Result({{"ports", list}});
    return kExitOk;
}

namespace {

constexpr std::uint32_t kScanBauds[4] = {9600, 19200, 38400, 57600};
constexpr int kFirstStation = 1;
constexpr int kLastStation = 16;
constexpr int kVersionRegister = 11;
// A probe: 8 request characters, 7 reply characters, then 3.5 characters of silence.
constexpr int kProbeCharacters = 8 + 7;
constexpr double kSilenceCharacters = 3.5;
// What a module may take to answer, beyond the line's own time (--timeout replaces the
// whole wait).
constexpr double kAnswerAllowanceMs = 12.0;
constexpr unsigned long kSettleMs = 50;

}  // namespace

int RunScan(const CliOptions& o, const Output& out) {
    ModbusSession session(o);
    std::vector<bool> modes;
    if (o.bothModes || !o.plcCan) {
        modes.push_back(false);
    }
    if (o.bothModes || o.plcCan) {
        modes.push_back(true);
    }
    QJsonArray found;
    double lineMicros = 0;
    QElapsedTimer clock;
    clock.start();
    for (const std::uint32_t baud : kScanBauds) {
        const bool first = !session.driver.Connected();
        const Outcome opened = session.Open(baud);
        if (!opened.ok()) {
            return out.Finish(opened);
        }
        if (first) {
            // A line just opened may still carry what the open stirred up (and the other end
            // may not have noticed the open yet); the first probe waits for it to settle.
            QThread::msleep(kSettleMs);
        }
        const double probeMicros =
            WireMicros(kProbeCharacters, baud) + WireMicros(1, baud) * kSilenceCharacters;
        const auto timeoutMs =
            static_cast<std::uint32_t>(probeMicros / 1000.0 + kAnswerAllowanceMs);
        for (const bool plcCan : modes) {
            RegisterAccess& link = session.link;
            link.SetPlcCan(plcCan);
            for (int station = kFirstStation; station <= kLastStation; ++station) {
                link.SetStation(static_cast<std::uint8_t>(station));
                std::uint16_t version = 0;
                const Outcome probe = link.Read(kVersionRegister, 1, timeoutMs, &version);
                lineMicros += probeMicros;
                if (!probe.ok()) {
                    continue;
                }
                const QString mode = plcCan ? QStringLiteral("PLC-CAN") : QStringLiteral("PC-UART");
                const QString versionText = QString::number(version / 100.0, 'f', 2);
                out.Line(QStringLiteral("station %1  %2 baud  %3  firmware %4")
                             .arg(station, 2)
                             .arg(baud)
                             .arg(mode, versionText));
                found.append(QJsonObject{{"station", station},
                                         {"baud", static_cast<int>(baud)},
                                         {"mode", mode},
                                         {"firmware_version", versionText}});
            }
        }
    }
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    const double lineSeconds = lineMicros / 1e6;
    out.Line(QStringLiteral("%1 module(s); %2 s, the line's own time %3 s (ratio %4)")
                 .arg(found.size())
                 .arg(seconds, 0, 'f', 2)
                 .arg(lineSeconds, 0, 'f', 2)
                 .arg(seconds / lineSeconds, 0, 'f', 2));
    out.Result({{"modules", found}, {"seconds", seconds}, {"line_seconds", lineSeconds}});
    return found.isEmpty()
               ? out.Finish(Outcome::Fail(kExitNoReply, QStringLiteral("no module found")))
               : kExitOk;
}
