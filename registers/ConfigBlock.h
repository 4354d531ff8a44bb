#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "RegisterNumbers.h"

// The module's configuration block, registers 84 to 96, described once: which setting each
// register (or half of register 94) carries, its label on the configuration panel, its list
// items or its range, whether it is signed, and how a commit builds the words it writes. The
// panel, the command line's profiles and anything else that reads or writes the block use it.
namespace ConfigBlock {

inline constexpr int kFirst = Reg::kConfigFirst;            // 84
inline constexpr int kLastRead = Reg::kFrameFormat;         // 95; 96 is never read
inline constexpr int kReadCount = kLastRead - kFirst + 1;   // 12
inline constexpr int kWordCount = Reg::kConfigCount;        // 13, with the commit marker
inline constexpr int kCommitRegister = Reg::kCommitMarker;  // 96
inline constexpr std::uint16_t kCommitValue = Reg::kCommitMarkerValue;  // 59881

// The settings in register order; register 94 carries two, its low half first.
enum Setting : int {
    kInputRange,
    kSampleRate,
    kConversionMode,
    kThermocoupleType,
    kLoadCellFactor,
    kTempCompensation,
    kStationNumber,
    kCanBaud,
    kRs485Baud,
    kSendSuppression,
    kFilterLevel,
    kChannelCount,
    kFrameFormat,
    kSettingCount
};

struct Field {
    const char* key;    // name in profiles, e.g. "station_number"
    int reg;            // 84 to 95
    const char* label;  // the panel's caption without its colon, UTF-8
    // A list's item texts by index (the value is the index); empty for a number.
    std::span<const char* const> items;
    int min;  // a list: 0 to its last index; a number: its range
    int max;
    bool isSigned;     // the register is read as signed 16-bit
    const char* unit;  // a number's unit in plain text ("ms"); empty for lists
    const char* hint;  // the panel field's hint, UTF-8; empty when it has none
    int maxLength;     // a number's field takes at most this many characters
    int panelDefault;  // what the panel shows before the first load
    // Where the value sits in its register: the word is the sum of value × 2^shift over the
    // register's settings (register 94: filter level + 16 × channel count), cut to 16 bits.
    // `bits` is the width read back (0: the whole word).
    int shift = 0;
    int bits = 0;

    bool isList() const { return !items.empty(); }
};

// Words of registers 84 to 95 as the module holds them, and of 84 to 96 as a commit writes them.
using ReadWords = std::array<std::uint16_t, kReadCount>;
using CommitWords = std::array<std::uint16_t, kWordCount>;
// One value per setting, by Setting.
using Values = std::array<int, kSettingCount>;

// Every setting, indexed by Setting.
std::span<const Field, kSettingCount> Fields();
inline const Field& FieldOf(Setting s) {
    return Fields()[static_cast<std::size_t>(s)];
}
// The setting a profile names by key; nullptr when there is none.
const Field* FindField(std::string_view key);

// The setting's value in the words read from the module: its bits, signed where it is.
int ValueIn(const Field& field, const ReadWords& words);
// The word of register `reg` (84 to 95) built from the values of its settings.
std::uint16_t WordOf(int reg, const Values& values);
// The thirteen words a commit writes, 84 to 95 from the values and 96 the commit marker.
CommitWords Commit(const Values& values);

// What a setting takes, for messages: a list's items as `0 = "9600", 1 = "19200", ...`, a
// number's range with its unit, e.g. `-500 to 500 x 0.1 °C`.
std::string Allowed(const Field& field);

// Whether `value` (as the register's word, signed where the register is) is a value the block
// allows for register `reg` (84 to 96); when not, why, with what the register takes, e.g.
// "register 89 (温度补偿) takes -500 to 500". Registers outside the block are always allowed.
bool WordAllowed(int reg, int value, std::string* why);

}  // namespace ConfigBlock
