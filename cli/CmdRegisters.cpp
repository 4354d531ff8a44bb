// vr7c read, write and watch: registers of a running module over Modbus RTU.

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <vector>

#include "Commands.h"
#include "EnglishNames.h"
#include "FormatFixed.h"
#include "ModbusSession.h"
#include "Output.h"
#include "RegisterMap.h"
#include "SlotRunner.h"
#include "StopRequest.h"

namespace {

constexpr int kLowestWritable = 30;

bool Signed(int reg) {
    return IsSignedRegister(reg) || reg == ConfigBlock::FieldOf(ConfigBlock::kTempCompensation).reg;
}

QString NameOf(int reg) {
    if (reg >= 0 && reg < kRegisterNameCount) {
        return QString::fromUtf8(RegisterNames[reg]);
    }
    for (const ConfigBlock::Field& field : ConfigBlock::Fields()) {
        if (field.reg == reg) {
            return QString::fromUtf8(field.label);
        }
    }
    return reg == ConfigBlock::kCommitRegister ? QStringLiteral("标定提交") : QString();
}

QString EnglishNameOf(int reg) {
    if (reg >= 0 && reg < kRegisterNameCount) {
        return EnglishRegisterName(RegisterNames[reg]);
    }
    for (const ConfigBlock::Field& field : ConfigBlock::Fields()) {
        if (field.reg == reg) {
            return EnglishSettingLabel(field.label);
        }
    }
    return reg == ConfigBlock::kCommitRegister ? QStringLiteral("commit marker") : QString();
}

// The options with the slot's port, for a session of the slot's own.
CliOptions OnPort(const CliOptions& o, const PortChoice& port) {
    CliOptions line = o;
    line.port = port.given;
    return line;
}

int Shown(int reg, std::uint16_t raw) {
    return Signed(reg) ? static_cast<std::int16_t>(raw) : raw;
}

// "N" or "A..B" into the list of registers.
bool ParseRange(const QString& text, std::vector<int>& regs) {
    static const QRegularExpression range(QStringLiteral("^(\\d{1,3})(?:\\.\\.(\\d{1,3}))?$"));
    const auto m = range.match(text);
    if (!m.hasMatch()) {
        return false;
    }
    const int first = m.captured(1).toInt();
    const int last = m.captured(2).isEmpty() ? first : m.captured(2).toInt();
    if (first > last || last >= RegisterAccess::kReadableRegisters) {
        return false;
    }
    for (int r = first; r <= last; ++r) {
        regs.push_back(r);
    }
    return true;
}

}  // namespace

int RunRead(const CliOptions& o, const Output& out) {
    std::vector<int> regs;
    for (const QString& arg : o.arguments) {
        if (!ParseRange(arg, regs)) {
            return out.Finish(Outcome::Fail(kExitUsage, QStringLiteral("'%1' is not a register or "
                                                                       "range inside 0..99")
                                                            .arg(arg)));
        }
    }
    if (regs.empty()) {
        ParseRange(QStringLiteral("0..99"), regs);
    }
    const auto [lo, hi] = std::minmax_element(regs.begin(), regs.end());
    SlotJob job;
    job.unit = [&, lo = *lo, hi = *hi](const PortChoice& port, const Output& slot) {
        const CliOptions line = OnPort(o, port);
        ModbusSession session(line);
        UnitResult unit;
        unit.outcome = session.Open(o.baud);
        std::vector<std::uint16_t> words(static_cast<std::size_t>(hi - lo + 1));
        if (unit.outcome.ok()) {
            unit.outcome = session.link.Read(lo, hi - lo + 1, o.timeoutMs, words.data());
        }
        if (!unit.outcome.ok()) {
            return unit;
        }
        QJsonArray list;
        for (const int reg : regs) {
            const std::uint16_t raw = words[static_cast<std::size_t>(reg - lo)];
            slot.Line(QStringLiteral("%1  %2  %3  %4")
                          .arg(reg, 2)
                          .arg(Shown(reg, raw), 6)
                          .arg(NameOf(reg), EnglishNameOf(reg)));
            list.append(QJsonObject{{"register", reg},
                                    {"name", NameOf(reg)},
                                    {"name_en", EnglishNameOf(reg)},
                                    {"value", Shown(reg, raw)},
                                    {"raw", raw}});
        }
        unit.record = {{"registers", list}};
        return unit;
    };
    return RunSlots(o.ports, job, out, o.deviceLookup);
}

int RunWrite(const CliOptions& o, const Output& out) {
    static const QRegularExpression assignment(QStringLiteral("^(\\d{1,3})=(-?\\d{1,5})$"));
    std::vector<std::pair<int, std::uint16_t>> writes;
    for (const QString& arg : o.arguments) {
        const auto m = assignment.match(arg);
        const int reg = m.hasMatch() ? m.captured(1).toInt() : -1;
        const int value = m.captured(2).toInt();
        const int min = Signed(reg) ? -32768 : 0;
        const int max = Signed(reg) ? 32767 : 65535;
        if (reg < kLowestWritable || reg >= RegisterAccess::kReadableRegisters || value < min ||
            value > max) {
            return out.Finish(Outcome::Fail(
                kExitUsage, QStringLiteral("'%1': give REG=VALUE, REG 30 to 99, VALUE %2 to %3 "
                                           "for that register")
                                .arg(arg)
                                .arg(Signed(std::max(reg, 0)) ? -32768 : 0)
                                .arg(Signed(std::max(reg, 0)) ? 32767 : 65535)));
        }
        std::string why;
        if (!o.force && !ConfigBlock::WordAllowed(reg, value, &why)) {
            return out.Finish(Outcome::Fail(
                kExitUsage, QStringLiteral("'%1': %2 (--force writes it all the same)")
                                .arg(arg, QString::fromStdString(why))));
        }
        writes.emplace_back(reg, static_cast<std::uint16_t>(value));
    }
    if (writes.empty()) {
        return out.Finish(Outcome::Fail(kExitUsage, QStringLiteral("write needs REG=VALUE")));
    }
    ModbusSession session(o);
    Outcome step = session.Open(o.baud);
    QJsonArray list;
    for (const auto& [reg, value] : writes) {
        if (!step.ok()) {
            break;
        }
        step = session.link.Write(reg, value);
        if (!step.ok()) {
            break;
        }
        // The commit marker is never read back; every other register is.
        std::uint16_t readBack = value;
        if (reg != ConfigBlock::kCommitRegister) {
            step = session.link.Read(reg, 1, o.timeoutMs, &readBack);
            if (step.ok() && readBack != value) {
                step = Outcome::Fail(kExitMismatch,
                                     QStringLiteral("register %1: wrote %2, read back %3")
                                         .arg(reg)
                                         .arg(Shown(reg, value))
                                         .arg(Shown(reg, readBack)));
            }
        }
        if (step.ok()) {
            out.Line(
                QStringLiteral("%1 = %2  %3").arg(reg).arg(Shown(reg, value)).arg(NameOf(reg)));
            list.append(QJsonObject{{"register", reg}, {"value", Shown(reg, value)}});
        }
    }
    if (!step.ok()) {
        return out.Finish(step);
    }
    out.Result({{"written", list}});
    return kExitOk;
}

namespace {

// The six channels of one poll as the live grid shows them.
struct ChannelRow {
    QString value, acquired, setPoint, state, percent;
};

std::vector<ChannelRow> Channels(const std::uint16_t* regs) {
    const int mode = regs[86];
    std::vector<ChannelRow> rows;
    for (int k = 0; k < 6; ++k) {
        ChannelRow row;
        const std::int32_t acquired = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(regs[13 + 2 * k]) << 16 | regs[12 + 2 * k]);
        row.acquired = mode == 1 ? FormatFixed(acquired, 2) + QStringLiteral(" Ω")
                                 : FormatFixed(acquired, 5) + QStringLiteral(" mV");
        row.value = mode >= 2 ? FormatFixed(regs[k], 3) + QStringLiteral(" kg")
                              : FormatFixed(regs[k], 1) + QStringLiteral(" ℃");
        row.setPoint = FormatFixed(regs[30 + k], 1) + QStringLiteral(" ℃");
        row.state = (regs[9] >> k) & 1 ? QStringLiteral("ON") : QStringLiteral("OFF");
        row.percent = FormatFixed(regs[24 + k], 1) + QStringLiteral("%");
        rows.push_back(row);
    }
    return rows;
}

QString Plain(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("[^0-9.\\-ONF]")));
}

// One poll as a JSON document, a refreshing table under its title on a terminal, or a plain
// line (with the port after the time when csvPort is given).
void ShowPoll(const QString& time, const std::vector<ChannelRow>& rows, bool table,
              const QString& title, const QString& csvPort, const Output& out) {
    if (out.json()) {
        QJsonArray channels;
        for (const ChannelRow& r : rows) {
            channels.append(QJsonObject{{"value", r.value},
                                        {"acquired", r.acquired},
                                        {"setpoint", r.setPoint},
                                        {"output", r.state},
                                        {"percent", r.percent}});
        }
        out.Result({{"time", time}, {"channels", channels}});
        return;
    }
    if (!table) {
        QStringList fields{time};
        if (!csvPort.isEmpty()) {
            fields << csvPort;
        }
        for (const ChannelRow& r : rows) {
            fields << Plain(r.value) << Plain(r.acquired) << Plain(r.setPoint) << r.state
                   << Plain(r.percent);
        }
        out.Line(fields.join(','));
        return;
    }
    QString screen = QStringLiteral("\x1b[H\x1b[2J%1  %2\n\n").arg(time, title);
    screen += QStringLiteral("ch  %1 %2 %3 %4 %5\n")
                  .arg(QStringLiteral("value"), 12)
                  .arg(QStringLiteral("acquired"), 16)
                  .arg(QStringLiteral("set point"), 10)
                  .arg(QStringLiteral("output"), 6)
                  .arg(QStringLiteral("%"), 7);
    for (int k = 0; k < 6; ++k) {
        const ChannelRow& r = rows[static_cast<std::size_t>(k)];
        screen += QStringLiteral("%1   %2 %3 %4 %5 %6\n")
                      .arg(k)
                      .arg(r.value, 12)
                      .arg(r.acquired, 16)
                      .arg(r.setPoint, 10)
                      .arg(r.state, 6)
                      .arg(r.percent, 7);
    }
    out.Raw(screen);
}

}  // namespace

int RunWatch(const CliOptions& o, const Output& out) {
    InstallStopRequest();
    const bool several = o.ports.size() > 1;
    // With several ports the CSV lines name theirs in a column of their own.
    if (o.csv && !out.json()) {
        QStringList header{QStringLiteral("time")};
        if (several) {
            header << QStringLiteral("port");
        }
        for (int k = 0; k < 6; ++k) {
            for (const char* column : {"value", "acquired", "setpoint", "output", "percent"}) {
                header << QStringLiteral("ch%1_%2").arg(k).arg(QLatin1String(column));
            }
        }
        out.Line(header.join(','));
    }
    SlotJob job;
    job.ownResults = true;
    job.unit = [&](const PortChoice& port, const Output& slot) {
        const CliOptions line = OnPort(o, port);
        ModbusSession session(line);
        UnitResult unit;
        unit.outcome = session.Open(o.baud);
        if (!unit.outcome.ok()) {
            return unit;
        }
        const bool table = !o.csv && !slot.json() && !several && Output::Terminal(1);
        // Several slots' CSV lines go out unprefixed, with the port in its column.
        const QString csvPort = several && o.csv && !out.json() ? port.given : QString();
        const QString title = QStringLiteral("%1, station %2").arg(port.given).arg(o.station);
        int good = 0;
        Outcome last;
        for (int poll = 0; (o.count == 0 || poll < o.count) && !StopRequested(); ++poll) {
            const qint64 started = QDateTime::currentMSecsSinceEpoch();
            std::uint16_t regs[RegisterAccess::kReadableRegisters] = {};
            last = session.link.Read(0, RegisterAccess::kReadableRegisters, o.timeoutMs, regs);
            const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
            if (last.ok()) {
                ++good;
                ShowPoll(time, Channels(regs), table, title, csvPort,
                         csvPort.isEmpty() ? slot : out);
            } else {
                slot.Note(QStringLiteral("%1 %2").arg(time, last.message));
            }
            const qint64 spent = QDateTime::currentMSecsSinceEpoch() - started;
            if (spent < o.intervalMs && (o.count == 0 || poll + 1 < o.count)) {
                QThread::msleep(static_cast<unsigned long>(o.intervalMs - spent));
            }
        }
        unit.outcome = good > 0 ? Outcome::Ok() : last;
        return unit;
    };
    return RunSlots(o.ports, job, out, o.deviceLookup);
}
