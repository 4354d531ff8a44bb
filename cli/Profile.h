#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// The module's configuration block, registers 84 to 96, as named settings with the panel's
// item texts, and the JSON profile that carries them.

inline constexpr int kConfigFirst = 84;
inline constexpr int kConfigLastRead = 95;  // 96, the commit marker, is never read
inline constexpr int kConfigReadCount = kConfigLastRead - kConfigFirst + 1;
inline constexpr int kCommitRegister = 96;
inline constexpr std::uint16_t kCommitMarker = 59881;

struct ConfigSetting {
    const char* key;
    int reg;
    const char* label;  // the panel's caption
    QStringList items;  // list settings: the item texts by index; empty for numbers
    int min;
    int max;
    const char* unit;  // numbers only
    // Register 94 holds two settings: the value sits at `shift`, `bits` wide (0: whole word).
    int shift = 0;
    int bits = 0;
};

// Every setting of the block, in register order (94's two settings low part first).
const std::vector<ConfigSetting>& ConfigSettings();

// Values by setting index; unset settings are not named by the profile.
struct Profile {
    QString name;
    std::vector<std::optional<int>> values =
        std::vector<std::optional<int>>(ConfigSettings().size());
    bool commit = false;  // names register 96, the commit marker
};

// The block as the module holds it (registers 84..95), as a profile naming every setting.
Profile ProfileFromRegisters(const std::array<std::uint16_t, kConfigReadCount>& regs,
                             const QString& name);

// A setting's value as a register holds it (signed where the setting is), and its meaning.
int SettingValue(const ConfigSetting& setting,
                 const std::array<std::uint16_t, kConfigReadCount>& regs);
QString SettingMeaning(const ConfigSetting& setting, int value);

// The register writes of a profile in the console's order (ascending, 96 last), each only
// for registers the profile names. `current` supplies the other half of register 94 when
// the profile names only one of its two settings.
std::vector<std::pair<int, std::uint16_t>> ProfileWrites(
    const Profile& profile, const std::array<std::uint16_t, kConfigReadCount>& current);

QByteArray WriteProfile(const Profile& profile);
// Reads a profile; refuses unknown settings, values out of range, meanings that are not an
// item, a register number that is not the setting's, and anything that is not such JSON.
std::optional<Profile> ReadProfile(const QByteArray& json, QString* error);

// The settings in which the module differs from the profile, as "key: module X, profile Y".
QStringList ProfileDifferences(const Profile& profile,
                               const std::array<std::uint16_t, kConfigReadCount>& regs);

// The line settings a profile gives the module's RS-485 port: station, baud rate, parity
// (0 none, 1 odd, 2 even); unset ones are left as they are.
void ProfileLine(const Profile& profile, int& station, int& baud, int& parity);
