#include "Quantity.h"

#include <QRegularExpression>
#include <QStringList>

#include "RegisterNumbers.h"

namespace {

struct ChannelQuantity {
    const char* name;
    Quantity::Kind kind;
};

constexpr ChannelQuantity kChannelQuantities[] = {
    {"acquired", Quantity::Kind::Acquired}, {"value", Quantity::Kind::Value},
    {"setpoint", Quantity::Kind::SetPoint}, {"output", Quantity::Kind::Output},
    {"state", Quantity::Kind::State},
};

const char* ChannelQuantityName(Quantity::Kind kind) {
    for (const auto& q : kChannelQuantities) {
        if (q.kind == kind) {
            return q.name;
        }
    }
    return "";
}

std::int32_t Signed16(std::uint16_t word) {
    return static_cast<std::int16_t>(word);
}

std::int32_t Pair(const std::uint16_t* regs, int low) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(regs[low]) |
                                     (static_cast<std::uint32_t>(regs[low + 1]) << 16));
}

}  // namespace

QString Quantity::Name() const {
    switch (kind) {
        case Kind::ColdJunction:
            return QStringLiteral("cold_junction");
        case Kind::Version:
            return QStringLiteral("version");
        case Kind::Register:
            return QStringLiteral("register.%1").arg(index);
        case Kind::SignedRegister:
            return QStringLiteral("register.%1.signed").arg(index);
        case Kind::Pair:
            return QStringLiteral("pair.%1").arg(index);
        default:
            return QStringLiteral("channel.%1.%2")
                .arg(index)
                .arg(QLatin1String(ChannelQuantityName(kind)));
    }
}

std::optional<Quantity> ParseQuantity(const QString& name, std::optional<int> channel,
                                      QString* error) {
    static const QRegularExpression kChannel(
        QStringLiteral("^channel(?:\\.([0-9]+))?\\.([a-z]+)$"));
    static const QRegularExpression kRegister(
        QStringLiteral("^(register|pair)\\.([0-9]{1,3})(\\.signed)?$"));
    auto fail = [&](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    Quantity q;
    if (const auto m = kChannel.match(name); m.hasMatch()) {
        bool known = false;
        for (const auto& c : kChannelQuantities) {
            if (m.captured(2) == QLatin1String(c.name)) {
                q.kind = c.kind;
                known = true;
            }
        }
        if (!known) {
            return fail(QStringLiteral("no channel quantity '%1' (acquired, value, setpoint, "
                                       "output, state)")
                            .arg(m.captured(2)));
        }
        if (m.captured(1).isEmpty() == !channel.has_value()) {
            return fail(channel ? QStringLiteral("with channels, write the quantity without its "
                                                 "channel number, as 'channel.%1'")
                                      .arg(m.captured(2))
                                : QStringLiteral("'%1' needs a channel number, as "
                                                 "'channel.0.%2', or channels = \"0-5\"")
                                      .arg(name, m.captured(2)));
        }
        q.index = channel ? *channel : m.captured(1).toInt();
        if (q.index >= Reg::kChannelCount) {
            return fail(QStringLiteral("channel %1 does not exist (0 to 5)").arg(q.index));
        }
        return q;
    }
    if (channel) {
        return fail(QStringLiteral("channels apply to channel quantities only"));
    }
    if (name == QLatin1String("cold_junction") || name == QLatin1String("version")) {
        q.kind = name == QLatin1String("version") ? Quantity::Kind::Version
                                                  : Quantity::Kind::ColdJunction;
        return q;
    }
    if (const auto m = kRegister.match(name); m.hasMatch()) {
        const bool pair = m.captured(1) == QLatin1String("pair");
        if (pair && m.capturedLength(3) > 0) {
            return fail(QStringLiteral("a pair is always signed: write 'pair.N'"));
        }
        q.kind = pair ? Quantity::Kind::Pair
                      : (m.capturedLength(3) > 0 ? Quantity::Kind::SignedRegister
                                                 : Quantity::Kind::Register);
        q.index = m.captured(2).toInt();
        const int last = pair ? kPolledRegisters - 2 : kPolledRegisters - 1;
        if (q.index > last) {
            return fail(QStringLiteral("%1 %2 is not polled (0 to %3)")
                            .arg(m.captured(1))
                            .arg(q.index)
                            .arg(last));
        }
        return q;
    }
    return fail(QStringLiteral("no quantity '%1' (channel.N.acquired, channel.N.value, "
                               "channel.N.setpoint, channel.N.output, channel.N.state, "
                               "cold_junction, version, register.N, register.N.signed, pair.N)")
                    .arg(name));
}

QStringList QuantityUnits(const Quantity& quantity) {
    switch (quantity.kind) {
        case Quantity::Kind::Acquired:
            return {QStringLiteral("mV"), QStringLiteral("Ω")};
        case Quantity::Kind::Value:
            return {QStringLiteral("°C"), QStringLiteral("kg")};
        case Quantity::Kind::SetPoint:
        case Quantity::Kind::ColdJunction:
            return {QStringLiteral("°C")};
        case Quantity::Kind::Output:
            return {QStringLiteral("%")};
        default:
            return {QString()};
    }
}

QString QuantityUnit(const Quantity& quantity, std::uint16_t mode) {
    const QStringList units = QuantityUnits(quantity);
    if (quantity.kind == Quantity::Kind::Acquired && mode == Reg::kModePt100) {
        return units[1];
    }
    if (quantity.kind == Quantity::Kind::Value && mode >= Reg::kModeLoadCell) {
        return units[1];
    }
    return units[0];
}

double QuantityValue(const Quantity& q, const std::uint16_t* regs) {
    const std::uint16_t mode = regs[Reg::kConversionMode];
    const int k = q.index;
    switch (q.kind) {
        case Quantity::Kind::Acquired:
            return Pair(regs, Reg::kAcquiredLowFirst + 2 * k) /
                   (mode == Reg::kModePt100 ? 100.0 : 100000.0);
        case Quantity::Kind::Value:
            return regs[Reg::kMeasuredFirst + k] / (mode >= Reg::kModeLoadCell ? 1000.0 : 10.0);
        case Quantity::Kind::SetPoint:
            return regs[Reg::kSetPointFirst + k] / 10.0;
        case Quantity::Kind::Output:
            return regs[Reg::kOutputPercentFirst + k] / 10.0;
        case Quantity::Kind::State:
            return (regs[Reg::kOutputBits] >> k) & 1;
        case Quantity::Kind::ColdJunction:
            return regs[Reg::kColdJunction] / 100.0;
        case Quantity::Kind::Version:
            return regs[Reg::kVersion] / 100.0;
        case Quantity::Kind::Register:
            return regs[k];
        case Quantity::Kind::SignedRegister:
            return Signed16(regs[k]);
        case Quantity::Kind::Pair:
            return Pair(regs, k);
    }
    return 0;
}
