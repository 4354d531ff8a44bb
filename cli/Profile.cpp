#include "Profile.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace {

constexpr std::uint32_t kRs485Bauds[4] = {9600, 19200, 38400, 57600};

int IndexOfKey(const QString& key) {
    const auto& settings = ConfigSettings();
    for (std::size_t i = 0; i < settings.size(); ++i) {
        if (key == QLatin1String(settings[i].key)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

const std::vector<ConfigSetting>& ConfigSettings() {
    static const std::vector<ConfigSetting> settings = {
        {"input_range", 84, "输入量程", {"+/- 0~100mV", "+/- 0~25mV"}, 0, 1, ""},
        {"sampling_rate",
         85,
         "采样速率",
         {"500Hz/4ms", "250Hz/8ms", "125Hz/16ms", "62.5Hz/32ms", "50Hz/40ms", "39.2Hz/48ms",
          "33.3Hz/60ms", "19.6Hz/101ms", "16.7Hz/120ms", "16.7Hz/120ms*", "12.5Hz/160ms",
          "10Hz/200ms", "8.33Hz/240ms", "6.25Hz/320ms", "4.17Hz/480ms"},
         0,
         14,
         ""},
        {"conversion_mode", 86, "换算模式", {"热电偶温度", "PT100温度", "称重传感器"}, 0, 2, ""},
        {"thermocouple_type",
         87,
         "热电偶类",
         {"K(0~1370)", "J(0~760)", "E(-100~1000)", "T(-160~400)", "S(0~1750)", "R(0~1000) "},
         0,
         5,
         ""},
        {"load_cell_factor", 88, "1mV=Gram", {}, 1, 60000, "g/mV"},
        {"temperature_compensation", 89, "温度补偿", {}, -500, 500, "x 0.1 °C"},
        {"station_number", 90, "模块站号", {}, 1, 99, ""},
        {"can_baud_rate",
         91,
         "CAN波特率",
         {"10K", "20K", "50K", "100K", "125K", "250K", "500K", "1000K"},
         0,
         7,
         ""},
        {"rs485_baud_rate", 92, "485波特率", {"9600", "19200", "38400", "57600"}, 0, 3, ""},
        {"send_suppression", 93, "发送抑制", {}, 1, 9999, "ms"},
        {"filter_level",
         94,
         "滤波等级",
         {"零级", "一级", "二级", "三级", "四级", "五级", "六级", "七级", "八级", "九级"},
         0,
         9,
         "",
         0,
         4},
        {"channel_count",
         94,
         "通道选择",
         {"一个", "二个", "三个", "四个", "五个", "六个"},
         0,
         5,
         "",
         4,
         12},
        {"rs485_format", 95, "485格式", {"8 N 1", "8 O 1", "8 E 1"}, 0, 2, ""},
    };
    return settings;
}

int SettingValue(const ConfigSetting& setting,
                 const std::array<std::uint16_t, kConfigReadCount>& regs) {
    const std::uint16_t word = regs[static_cast<std::size_t>(setting.reg - kConfigFirst)];
    if (setting.bits > 0) {
        return (word >> setting.shift) & ((1 << setting.bits) - 1);
    }
    return setting.min < 0 ? static_cast<std::int16_t>(word) : word;
}

QString SettingMeaning(const ConfigSetting& setting, int value) {
    if (setting.items.isEmpty()) {
        return QString::number(value) +
               (*setting.unit ? QStringLiteral(" ") + QString::fromUtf8(setting.unit) : QString());
    }
    if (value < 0 || value >= setting.items.size()) {
        return QStringLiteral("(no item %1)").arg(value);
    }
    return setting.items[value];
}

Profile ProfileFromRegisters(const std::array<std::uint16_t, kConfigReadCount>& regs,
                             const QString& name) {
    Profile profile;
    profile.name = name;
    profile.commit = true;
    const auto& settings = ConfigSettings();
    for (std::size_t i = 0; i < settings.size(); ++i) {
        profile.values[i] = SettingValue(settings[i], regs);
    }
    return profile;
}

std::vector<std::pair<int, std::uint16_t>> ProfileWrites(
    const Profile& profile, const std::array<std::uint16_t, kConfigReadCount>& current) {
    const auto& settings = ConfigSettings();
    std::vector<std::pair<int, std::uint16_t>> writes;
    for (int reg = kConfigFirst; reg <= kConfigLastRead; ++reg) {
        bool named = false;
        std::uint16_t word = current[static_cast<std::size_t>(reg - kConfigFirst)];
        for (std::size_t i = 0; i < settings.size(); ++i) {
            const ConfigSetting& s = settings[i];
            if (s.reg != reg || !profile.values[i]) {
                continue;
            }
            named = true;
            const int value = *profile.values[i];
            if (s.bits > 0) {
                const int mask = ((1 << s.bits) - 1) << s.shift;
                word = static_cast<std::uint16_t>((word & ~mask) | ((value << s.shift) & mask));
            } else {
                word = static_cast<std::uint16_t>(value);
            }
        }
        if (named) {
            writes.emplace_back(reg, word);
        }
    }
    if (profile.commit) {
        writes.emplace_back(kCommitRegister, kCommitMarker);
    }
    return writes;
}

QByteArray WriteProfile(const Profile& profile) {
    QJsonObject settingsObject;
    const auto& settings = ConfigSettings();
    for (std::size_t i = 0; i < settings.size(); ++i) {
        if (!profile.values[i]) {
            continue;
        }
        const ConfigSetting& s = settings[i];
        QJsonObject entry{{"register", s.reg},
                          {"label", QString::fromUtf8(s.label)},
                          {"value", *profile.values[i]},
                          {"meaning", SettingMeaning(s, *profile.values[i])}};
        settingsObject.insert(QLatin1String(s.key), entry);
    }
    if (profile.commit) {
        settingsObject.insert(QStringLiteral("commit_marker"),
                              QJsonObject{{"register", kCommitRegister}, {"value", kCommitMarker}});
    }
    const QJsonObject root{{"name", profile.name}, {"settings", settingsObject}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Profile> ReadProfile(const QByteArray& json, QString* error) {
    auto fail = [&](const QString& what) -> std::optional<Profile> {
        if (error) {
            *error = what;
        }
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull() || !document.isObject()) {
        return fail(QStringLiteral("not a JSON object (%1)").arg(parseError.errorString()));
    }
    const QJsonObject root = document.object();
    for (const QString& key : root.keys()) {
        if (key != QLatin1String("name") && key != QLatin1String("settings")) {
            return fail(QStringLiteral("unknown entry \"%1\"").arg(key));
        }
    }
    Profile profile;
    const QJsonValue name = root.value(QStringLiteral("name"));
    if (!name.isUndefined() && !name.isString()) {
        return fail(QStringLiteral("\"name\" is not a text"));
    }
    profile.name = name.toString();
    const QJsonValue settingsValue = root.value(QStringLiteral("settings"));
    if (!settingsValue.isObject()) {
        return fail(QStringLiteral("no \"settings\" object"));
    }
    const QJsonObject settingsObject = settingsValue.toObject();
    const auto& settings = ConfigSettings();
    for (auto it = settingsObject.begin(); it != settingsObject.end(); ++it) {
        const QString key = it.key();
        if (!it.value().isObject()) {
            return fail(key + QStringLiteral(": not an object"));
        }
        const QJsonObject entry = it.value().toObject();
        const QJsonValue reg = entry.value(QStringLiteral("register"));
        const QJsonValue value = entry.value(QStringLiteral("value"));
        if (key == QLatin1String("commit_marker")) {
            if ((!reg.isUndefined() && reg.toDouble(-1) != kCommitRegister) ||
                value.toDouble(-1) != kCommitMarker) {
                return fail(QStringLiteral("commit_marker: must be register 96, value 59881"));
            }
            profile.commit = true;
            continue;
        }
        const int index = IndexOfKey(key);
        if (index < 0) {
            return fail(QStringLiteral("unknown setting \"%1\"").arg(key));
        }
        const ConfigSetting& s = settings[static_cast<std::size_t>(index)];
        if (!reg.isUndefined() && reg.toDouble(-1) != s.reg) {
            return fail(key + QStringLiteral(": register must be %1").arg(s.reg));
        }
        std::optional<int> chosen;
        if (!value.isUndefined()) {
            const double number = value.toDouble(s.min - 1.0);
            // The range first: only a number inside it may be converted to an integer.
            if (!value.isDouble() || !(number >= s.min && number <= s.max) ||
                number != static_cast<int>(number)) {
                return fail(key + QStringLiteral(": value must be a whole number %1 to %2")
                                      .arg(s.min)
                                      .arg(s.max));
            }
            chosen = static_cast<int>(number);
        }
        const QJsonValue meaning = entry.value(QStringLiteral("meaning"));
        if (!s.items.isEmpty() && meaning.isString()) {
            const int item = static_cast<int>(s.items.indexOf(meaning.toString()));
            if (item < 0) {
                return fail(
                    key +
                    QStringLiteral(": \"%1\" is not one of its items").arg(meaning.toString()));
            }
            if (chosen && *chosen != item) {
                return fail(key + QStringLiteral(": value and meaning disagree"));
            }
            chosen = item;
        }
        if (!chosen) {
            return fail(key + QStringLiteral(": no value"));
        }
        profile.values[static_cast<std::size_t>(index)] = chosen;
    }
    return profile;
}

QStringList ProfileDifferences(const Profile& profile,
                               const std::array<std::uint16_t, kConfigReadCount>& regs) {
    QStringList differences;
    const auto& settings = ConfigSettings();
    for (std::size_t i = 0; i < settings.size(); ++i) {
        if (!profile.values[i]) {
            continue;
        }
        const int module = SettingValue(settings[i], regs);
        if (module != *profile.values[i]) {
            differences << QStringLiteral("%1: module %2, profile %3")
                               .arg(QLatin1String(settings[i].key),
                                    SettingMeaning(settings[i], module),
                                    SettingMeaning(settings[i], *profile.values[i]));
        }
    }
    return differences;
}

void ProfileLine(const Profile& profile, int& station, int& baud, int& parity) {
    auto valueOf = [&](const char* key) {
        return profile.values[static_cast<std::size_t>(IndexOfKey(QLatin1String(key)))];
    };
    if (const auto v = valueOf("station_number")) {
        station = *v;
    }
    if (const auto v = valueOf("rs485_baud_rate")) {
        baud = static_cast<int>(kRs485Bauds[*v]);
    }
    if (const auto v = valueOf("rs485_format")) {
        parity = *v == 0 ? 0 : (*v == 1 ? 1 : 2);
    }
}
