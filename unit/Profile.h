#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "ConfigBlock.h"
#include "ExitCode.h"

// The JSON profile that carries the module's configuration block (registers 84 to 96) as
// named settings with the panel's labels and item texts.

// Values by setting (ConfigBlock::Setting); unset settings are not named by the profile.
struct Profile {
    QString name;
    std::array<std::optional<int>, ConfigBlock::kSettingCount> values{};
    bool commit = false;  // names register 96, the commit marker
};

// The block as the module holds it (registers 84..95), as a profile naming every setting.
Profile ProfileFromRegisters(const ConfigBlock::ReadWords& regs, const QString& name);

// A setting's value in plain words: its item, or the number with its unit.
QString SettingMeaning(const ConfigBlock::Field& field, int value);

// The register writes of a profile in the console's order (ascending), each only for registers
// the profile names, and the commit marker (96) last whenever any of 84 to 95 is written or the
// profile names it: without it the module does not keep what was written. `current` supplies
// the other half of register 94 when the profile names only one of its two settings.
std::vector<std::pair<int, std::uint16_t>> ProfileWrites(const Profile& profile,
                                                         const ConfigBlock::ReadWords& current);

QByteArray WriteProfile(const Profile& profile);
// Reads a profile; refuses unknown settings, values out of range, meanings that are not an
// item, a register number that is not the setting's, and anything that is not such JSON. The
// error names what the setting allows, and for a JSON syntax error its line and column.
std::optional<Profile> ReadProfile(const QByteArray& json, QString* error);

// The settings in which the module differs from the profile, as "key: module X, profile Y".
QStringList ProfileDifferences(const Profile& profile, const ConfigBlock::ReadWords& regs);

// The line settings a profile gives the module's RS-485 port: station, baud rate, parity
// (0 none, 1 odd, 2 even); unset ones are left as they are.
void ProfileLine(const Profile& profile, int& station, int& baud, int& parity);

// Reads a profile file (at most 1 MiB); a file that cannot be read or is not a profile is
// kExitBadFile with the path in the message. A profile without a name takes the file's.
Outcome ReadProfileFile(const QString& path, Profile& profile);
