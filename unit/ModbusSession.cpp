#include "ModbusSession.h"

#include "TickClock.h"

ModbusSession::ModbusSession(const LineOptions& o)
    : options(o),
      port(ResolvePort(o.port, o.deviceLookup)),
      link(driver, systemClock(), static_cast<std::uint8_t>(o.station), o.plcCan) {}

Outcome ModbusSession::Open(std::uint32_t baud, TComPortParity parity) {
    // An open port only changes its settings: the device stays held between scan rates.
    const Outcome opened = OpenPort(driver, port, baud, parity);
    if (opened.ok()) {
        baud_ = baud;
        parity_ = parity;
    }
    return opened;
}

Outcome ModbusSession::ReadConfig(ConfigBlock::ReadWords& regs) {
    return link.Read(ConfigBlock::kFirst, ConfigBlock::kReadCount, options.timeoutMs, regs.data());
}

namespace {

QString Registers(const std::vector<int>& regs) {
    QStringList numbers;
    for (const int reg : regs) {
        numbers << QString::number(reg);
    }
    return numbers.isEmpty() ? QStringLiteral("none") : numbers.join(QStringLiteral(", "));
}

// Read-backs at a station or rate just taken: the module may need a moment to change over.
constexpr int kReadsAfterMove = 3;

}  // namespace

Outcome ModbusSession::FollowLine(const Profile& profile) {
    // Through a PLC bridge the serial line is the PLC's: the module's own line changes nothing.
    if (options.plcCan) {
        return Outcome::Ok();
    }
    int station = this->station();
    int baud = static_cast<int>(baud_);
    int parity = parity_;
    ProfileLine(profile, station, baud, parity);
    link.SetStation(static_cast<std::uint8_t>(station));
    if (baud == static_cast<int>(baud_) && parity == parity_) {
        return Outcome::Ok();
    }
    const Outcome opened =
        Open(static_cast<std::uint32_t>(baud), static_cast<TComPortParity>(parity));
    if (!opened.ok()) {
        return Outcome::Fail(opened.code,
                             QStringLiteral("the profile was committed, but the line cannot "
                                            "follow the module to %1 baud: %2")
                                 .arg(baud)
                                 .arg(opened.message));
    }
    return opened;
}

Outcome ModbusSession::ApplyProfile(const Profile& profile, std::vector<int>& written) {
    written.clear();
    ConfigBlock::ReadWords current{};
    Outcome step = ReadConfig(current);
    if (!step.ok()) {
        return step;
    }
    // Ascending, the commit marker last; the first failure ends the sequence, as in the console.
    const auto writes = ProfileWrites(profile, current);
    for (const auto& [reg, value] : writes) {
        step = link.Write(reg, value);
        if (!step.ok()) {
            std::vector<int> left;
            for (std::size_t i = written.size(); i < writes.size(); ++i) {
                left.push_back(writes[i].first);
            }
            return Outcome::Fail(step.code,
                                 step.message + QStringLiteral("; written: %1; not written: %2")
                                                    .arg(Registers(written), Registers(left)));
        }
        written.push_back(reg);
    }
    const bool committed = !writes.empty() && writes.back().first == ConfigBlock::kCommitRegister;
    if (committed) {
        step = FollowLine(profile);
        if (!step.ok()) {
            return step;
        }
    }
    int reads = committed ? kReadsAfterMove : 1;
    do {
        step = ReadConfig(current);
    } while (step.code == kExitNoReply && --reads > 0);
    if (!step.ok()) {
        if (committed) {
            step.message +=
                QStringLiteral(" (read back at station %1, %2 baud)").arg(station()).arg(baud_);
        }
        return step;
    }
    const QStringList differences = ProfileDifferences(profile, current);
    if (!differences.isEmpty()) {
        return Outcome::Fail(kExitMismatch, QStringLiteral("read back differs: ") +
                                                differences.join(QStringLiteral("; ")));
    }
    return Outcome::Ok();
}
