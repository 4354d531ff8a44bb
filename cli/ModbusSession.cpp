#include "ModbusSession.h"

#include "TickClock.h"

ModbusSession::ModbusSession(const CliOptions& o)
    : options(o),
      port(ResolvePort(o.port)),
      link(driver, systemClock(), static_cast<std::uint8_t>(o.station), o.plcCan) {}

Outcome ModbusSession::Open(std::uint32_t baud, TComPortParity parity) {
    // An open port only changes its settings: the device stays held between scan rates.
    return OpenPort(driver, port, baud, parity);
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

}  // namespace

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
    step = ReadConfig(current);
    if (!step.ok()) {
        return step;
    }
    const QStringList differences = ProfileDifferences(profile, current);
    if (!differences.isEmpty()) {
        return Outcome::Fail(kExitMismatch, QStringLiteral("read back differs: ") +
                                                differences.join(QStringLiteral("; ")));
    }
    return Outcome::Ok();
}
