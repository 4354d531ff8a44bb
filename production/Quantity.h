#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// What a measure step reads from the module, worked out from one poll of registers 0 to 99 in
// the units the console shows.
struct Quantity {
    enum class Kind {
        Acquired,        // channel.N.acquired: mV, or Ω in PT100 mode
        Value,           // channel.N.value: °C, or kg in load-cell mode
        SetPoint,        // channel.N.setpoint: °C
        Output,          // channel.N.output: %
        State,           // channel.N.state: 1 on, 0 off
        ColdJunction,    // cold_junction: °C
        Version,         // version: firmware version, 1.50 for 150
        Register,        // register.N: unsigned 16-bit
        SignedRegister,  // register.N.signed
        Pair,            // pair.N: signed 32-bit, low word N, high word N + 1
    };
    Kind kind = Kind::Register;
    int index = 0;  // the channel or register number
    QString Name() const;
};

// Registers one poll reads: 0 to 99.
inline constexpr int kPolledRegisters = 100;

// A quantity name as a plan writes it; with `channel` set, a channel quantity is written
// without its number ("channel.acquired") and takes that channel. Empty when the name does not
// exist, with the reason in `error`.
std::optional<Quantity> ParseQuantity(const QString& name, std::optional<int> channel,
                                      QString* error);

// The units a quantity may be given in (the first is the one it is read in by default).
QStringList QuantityUnits(const Quantity& quantity);

// The unit a quantity is in for a module whose conversion mode (register 86) is `mode`.
QString QuantityUnit(const Quantity& quantity, std::uint16_t mode);

// The quantity's value from registers 0 to 99 of one poll.
double QuantityValue(const Quantity& quantity, const std::uint16_t* regs);
