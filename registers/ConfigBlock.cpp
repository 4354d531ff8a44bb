#include "ConfigBlock.h"

#include "TranslatableText.h"

namespace ConfigBlock {

namespace {

constexpr const char* kInputRanges[] = {"+/- 0~100mV", "+/- 0~25mV"};
// Items 8 and 9 differ only by the asterisk.
constexpr const char* kSampleRates[] = {
    "500Hz/4ms",    "250Hz/8ms",   "125Hz/16ms",   "62.5Hz/32ms",  "50Hz/40ms",
    "39.2Hz/48ms",  "33.3Hz/60ms", "19.6Hz/101ms", "16.7Hz/120ms", "16.7Hz/120ms*",
    "12.5Hz/160ms", "10Hz/200ms",  "8.33Hz/240ms", "6.25Hz/320ms", "4.17Hz/480ms"};
constexpr const char* kConversionModes[] = {QT_TRANSLATE_NOOP("ConfigBlock", "热电偶温度"),
                                            QT_TRANSLATE_NOOP("ConfigBlock", "PT100温度"),
                                            QT_TRANSLATE_NOOP("ConfigBlock", "称重传感器")};
// The last item ends with a space.
constexpr const char* kThermocoupleTypes[] = {"K(0~1370)",   "J(0~760)",  "E(-100~1000)",
                                              "T(-160~400)", "S(0~1750)", "R(0~1000) "};
constexpr const char* kCanBauds[] = {"10K", "20K", "50K", "100K", "125K", "250K", "500K", "1000K"};
constexpr const char* kRs485Bauds[] = {"9600", "19200", "38400", "57600"};
constexpr const char* kFilterLevels[] = {
    QT_TRANSLATE_NOOP("ConfigBlock", "零级"), QT_TRANSLATE_NOOP("ConfigBlock", "一级"),
    QT_TRANSLATE_NOOP("ConfigBlock", "二级"), QT_TRANSLATE_NOOP("ConfigBlock", "三级"),
    QT_TRANSLATE_NOOP("ConfigBlock", "四级"), QT_TRANSLATE_NOOP("ConfigBlock", "五级"),
    QT_TRANSLATE_NOOP("ConfigBlock", "六级"), QT_TRANSLATE_NOOP("ConfigBlock", "七级"),
    QT_TRANSLATE_NOOP("ConfigBlock", "八级"), QT_TRANSLATE_NOOP("ConfigBlock", "九级")};
constexpr const char* kChannelCounts[] = {
    QT_TRANSLATE_NOOP("ConfigBlock", "一个"), QT_TRANSLATE_NOOP("ConfigBlock", "二个"),
    QT_TRANSLATE_NOOP("ConfigBlock", "三个"), QT_TRANSLATE_NOOP("ConfigBlock", "四个"),
    QT_TRANSLATE_NOOP("ConfigBlock", "五个"), QT_TRANSLATE_NOOP("ConfigBlock", "六个")};
constexpr const char* kFrameFormats[] = {"8 N 1", "8 O 1", "8 E 1"};

constexpr std::span<const char* const> kNone;

// A list: its value is the item index.
constexpr Field List(const char* key, int reg, const char* label,
                     std::span<const char* const> items, int panelDefault, int shift = 0,
                     int bits = 0) {
    return Field{key, reg, label,        items, 0,   static_cast<int>(items.size()) - 1, false, "",
                 "",  0,   panelDefault, shift, bits};
}

// A number in its range.
constexpr Field Number(const char* key, int reg, const char* label, int min, int max,
                       const char* unit, const char* hint, int maxLength, int panelDefault) {
    return Field{key,  reg,  label,     kNone,        min, max, min < 0,
                 unit, hint, maxLength, panelDefault, 0,   0};
}

const Field kFields[kSettingCount] = {
    List("input_range", Reg::kInputRange, QT_TRANSLATE_NOOP("ConfigBlock", "输入量程"),
         kInputRanges, 0),
    List("sampling_rate", Reg::kSampleRate, QT_TRANSLATE_NOOP("ConfigBlock", "采样速率"),
         kSampleRates, 9),
    List("conversion_mode", Reg::kConversionMode, QT_TRANSLATE_NOOP("ConfigBlock", "换算模式"),
         kConversionModes, 0),
    List("thermocouple_type", Reg::kThermocoupleType, QT_TRANSLATE_NOOP("ConfigBlock", "热电偶类"),
         kThermocoupleTypes, 0),
    Number("load_cell_factor", Reg::kLoadCellFactor, "1mV=Gram", 1, 60000, "g/mV",
           QT_TRANSLATE_NOOP("ConfigBlock", "单位:g"), 5, 1000),
    Number("temperature_compensation", Reg::kTempCompensation,
           QT_TRANSLATE_NOOP("ConfigBlock", "温度补偿"), -500, 500, "x 0.1 °C",
           QT_TRANSLATE_NOOP("ConfigBlock", "单位:0.1度"), 5, -15),
    Number("station_number", Reg::kStationNumber, QT_TRANSLATE_NOOP("ConfigBlock", "模块站号"), 1,
           99, "", "", 2, 1),
    List("can_baud_rate", Reg::kCanBaud, QT_TRANSLATE_NOOP("ConfigBlock", "CAN波特率"), kCanBauds,
         6),
    List("rs485_baud_rate", Reg::kRs485Baud, QT_TRANSLATE_NOOP("ConfigBlock", "485波特率"),
         kRs485Bauds, 1),
    Number("send_suppression", Reg::kSendSuppression, QT_TRANSLATE_NOOP("ConfigBlock", "发送抑制"),
           1, 9999, "ms", QT_TRANSLATE_NOOP("ConfigBlock", "单位:ms"), 4, 100),
    List("filter_level", Reg::kFilterAndChannels, QT_TRANSLATE_NOOP("ConfigBlock", "滤波等级"),
         kFilterLevels, 0, 0, Reg::kFilterLevelBits),
    List("channel_count", Reg::kFilterAndChannels, QT_TRANSLATE_NOOP("ConfigBlock", "通道选择"),
         kChannelCounts, 0, Reg::kFilterLevelBits, 16 - Reg::kFilterLevelBits),
    List("rs485_format", Reg::kFrameFormat, QT_TRANSLATE_NOOP("ConfigBlock", "485格式"),
         kFrameFormats, 2),
};

}  // namespace

std::span<const Field, kSettingCount> Fields() {
    return std::span<const Field, kSettingCount>(kFields);
}

const Field* FindField(std::string_view key) {
    for (const Field& field : kFields) {
        if (key == field.key) {
            return &field;
        }
    }
    return nullptr;
}

int ValueIn(const Field& field, const ReadWords& words) {
    const std::uint16_t word = words[static_cast<std::size_t>(field.reg - kFirst)];
    if (field.bits > 0) {
        return (word >> field.shift) & ((1 << field.bits) - 1);
    }
    return field.isSigned ? static_cast<std::int16_t>(word) : word;
}

std::uint16_t WordOf(int reg, const Values& values) {
    int word = 0;
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        if (kFields[i].reg == reg) {
            word += values[i] * (1 << kFields[i].shift);
        }
    }
    return static_cast<std::uint16_t>(word);
}

CommitWords Commit(const Values& values) {
    CommitWords words{};
    for (int reg = kFirst; reg <= kLastRead; ++reg) {
        words[static_cast<std::size_t>(reg - kFirst)] = WordOf(reg, values);
    }
    words[kWordCount - 1] = kCommitValue;
    return words;
}

std::string Allowed(const Field& field) {
    if (!field.isList()) {
        std::string text = std::to_string(field.min) + " to " + std::to_string(field.max);
        return *field.unit ? text + " " + field.unit : text;
    }
    std::string text;
    for (std::size_t i = 0; i < field.items.size(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(i) + " = \"" + field.items[i] + "\"";
    }
    return text;
}

bool WordAllowed(int reg, int value, std::string* why) {
    const auto fail = [&](const std::string& text) {
        if (why) {
            *why = "register " + std::to_string(reg) + " " + text;
        }
        return false;
    };
    if (reg == kCommitRegister) {
        return value == kCommitValue ||
               fail("(the commit marker) takes only " + std::to_string(kCommitValue));
    }
    if (reg < kFirst || reg > kLastRead) {
        return true;
    }
    ReadWords words{};
    words[static_cast<std::size_t>(reg - kFirst)] = static_cast<std::uint16_t>(value);
    bool ok = true;
    std::string takes;
    const Field* only = nullptr;
    int parts = 0;
    for (const Field& field : kFields) {
        if (field.reg != reg) {
            continue;
        }
        const int v = ValueIn(field, words);
        ok = ok && v >= field.min && v <= field.max;
        takes += (parts++ > 0 ? " + " + std::to_string(1 << field.shift) + " × " : "") +
                 field.label + " " + std::to_string(field.min) + " to " + std::to_string(field.max);
        only = &field;
    }
    if (ok) {
        return true;
    }
    return parts == 1 ? fail("(" + std::string(only->label) + ") takes " + Allowed(*only))
                      : fail("takes " + takes);
}

}  // namespace ConfigBlock
