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

Outcome ModbusSession::ReadConfig(std::array<std::uint16_t, kConfigReadCount>& regs) {
    return link.Read(kConfigFirst, kConfigReadCount, options.timeoutMs, regs.data());
}

Outcome ModbusSession::ApplyProfile(const Profile& profile, int& written) {
    written = 0;
    std::array<std::uint16_t, kConfigReadCount> current{};
    Outcome step = ReadConfig(current);
    if (!step.ok()) {
        return step;
    }
    // Ascending, the commit marker last; the first failure ends the sequence, as in the console.
    for (const auto& [reg, value] : ProfileWrites(profile, current)) {
        step = link.Write(reg, value);
        if (!step.ok()) {
            return step;
        }
        ++written;
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
