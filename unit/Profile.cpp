#include "Profile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "EnglishNames.h"

namespace {

using ConfigBlock::Field;
using ConfigBlock::Fields;

std::size_t IndexOf(const Field& field) {
    return static_cast<std::size_t>(&field - Fields().data());
}

QString AllowedText(const Field& field) {
    return QString::fromStdString(ConfigBlock::Allowed(field));
}

// Line and column (from 1, in characters) of a byte offset into UTF-8 text.
QString Position(const QByteArray& text, qsizetype offset) {
    int line = 1;
    int column = 1;
    for (qsizetype i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

QString Keys() {
    QStringList keys;
    for (const Field& field : Fields()) {
        keys << QLatin1String(field.key);
    }
    return keys.join(QStringLiteral(", ")) + QStringLiteral(", commit_marker");
}

}  // namespace

QString SettingMeaning(const Field& field, int value) {
    if (!field.isList()) {
        return QString::number(value) +
               (*field.unit ? QStringLiteral(" ") + QString::fromUtf8(field.unit) : QString());
    }
    if (value < 0 || value >= static_cast<int>(field.items.size())) {
        return QStringLiteral("(no item %1)").arg(value);
    }
    return QString::fromUtf8(field.items[static_cast<std::size_t>(value)]);
}

Profile ProfileFromRegisters(const ConfigBlock::ReadWords& regs, const QString& name) {
    Profile profile;
    profile.name = name;
    profile.commit = true;
    for (const Field& field : Fields()) {
        profile.values[IndexOf(field)] = ConfigBlock::ValueIn(field, regs);
    }
    return profile;
}

std::vector<std::pair<int, std::uint16_t>> ProfileWrites(const Profile& profile,
                                                         const ConfigBlock::ReadWords& current) {
    ConfigBlock::Values values{};
    for (const Field& field : Fields()) {
        const std::size_t i = IndexOf(field);
        values[i] = profile.values[i].value_or(ConfigBlock::ValueIn(field, current));
    }
    std::vector<std::pair<int, std::uint16_t>> writes;
    for (int reg = ConfigBlock::kFirst; reg <= ConfigBlock::kLastRead; ++reg) {
        for (const Field& field : Fields()) {
            if (field.reg == reg && profile.values[IndexOf(field)]) {
                writes.emplace_back(reg, ConfigBlock::WordOf(reg, values));
                break;
            }
        }
    }
    if (profile.commit || !writes.empty()) {
        writes.emplace_back(ConfigBlock::kCommitRegister, ConfigBlock::kCommitValue);
    }
    return writes;
}

QByteArray WriteProfile(const Profile& profile) {
    QJsonObject settingsObject;
    for (const Field& field : Fields()) {
        const auto& value = profile.values[IndexOf(field)];
        if (!value) {
            continue;
        }
        const QJsonObject entry{{"register", field.reg},
                                {"label", QString::fromUtf8(field.label)},
                                {"label_en", EnglishSettingLabel(field.label)},
                                {"value", *value},
                                {"meaning", SettingMeaning(field, *value)}};
        settingsObject.insert(QLatin1String(field.key), entry);
    }
    if (profile.commit) {
        settingsObject.insert(QStringLiteral("commit_marker"),
                              QJsonObject{{"register", ConfigBlock::kCommitRegister},
                                          {"value", ConfigBlock::kCommitValue}});
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
    if (parseError.error != QJsonParseError::NoError) {
        return fail(QStringLiteral("not JSON: %1 at %2")
                        .arg(parseError.errorString(), Position(json, parseError.offset)));
    }
    if (!document.isObject()) {
        return fail(QStringLiteral("not a JSON object with \"name\" and \"settings\""));
    }
    const QJsonObject root = document.object();
    for (const QString& key : root.keys()) {
        if (key != QLatin1String("name") && key != QLatin1String("settings")) {
            return fail(
                QStringLiteral("unknown entry \"%1\" (a profile has \"name\" and \"settings\")")
                    .arg(key));
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
    for (auto it = settingsObject.begin(); it != settingsObject.end(); ++it) {
        const QString key = it.key();
        if (!it.value().isObject()) {
            return fail(key + QStringLiteral(": not an object"));
        }
        const QJsonObject entry = it.value().toObject();
        const QJsonValue reg = entry.value(QStringLiteral("register"));
        const QJsonValue value = entry.value(QStringLiteral("value"));
        if (key == QLatin1String("commit_marker")) {
            if ((!reg.isUndefined() && reg.toDouble(-1) != ConfigBlock::kCommitRegister) ||
                value.toDouble(-1) != ConfigBlock::kCommitValue) {
                return fail(QStringLiteral("commit_marker: must be register 96, value 59881"));
            }
            profile.commit = true;
            continue;
        }
        const Field* field = ConfigBlock::FindField(key.toStdString());
        if (!field) {
            return fail(
                QStringLiteral("unknown setting \"%1\"; the settings are %2").arg(key, Keys()));
        }
        if (!reg.isUndefined() && reg.toDouble(-1) != field->reg) {
            return fail(key + QStringLiteral(": register must be %1").arg(field->reg));
        }
        std::optional<int> chosen;
        if (!value.isUndefined()) {
            const double number = value.toDouble(field->min - 1.0);
            // The range first: only a number inside it may be converted to an integer.
            if (!value.isDouble() || !(number >= field->min && number <= field->max) ||
                number != static_cast<int>(number)) {
                return fail(key +
                            (field->isList() ? QStringLiteral(": value must be one of ")
                                             : QStringLiteral(": value must be a whole number ")) +
                            AllowedText(*field));
            }
            chosen = static_cast<int>(number);
        }
        const QJsonValue meaning = entry.value(QStringLiteral("meaning"));
        if (field->isList() && meaning.isString()) {
            int item = -1;
            for (std::size_t i = 0; i < field->items.size(); ++i) {
                if (meaning.toString() == QString::fromUtf8(field->items[i])) {
                    item = static_cast<int>(i);
                }
            }
            if (item < 0) {
                return fail(key + QStringLiteral(": \"%1\" is not one of its items: %2")
                                      .arg(meaning.toString(), AllowedText(*field)));
            }
            if (chosen && *chosen != item) {
                return fail(key + QStringLiteral(": value %1 and meaning \"%2\" disagree: %3")
                                      .arg(*chosen)
                                      .arg(meaning.toString(), AllowedText(*field)));
            }
            chosen = item;
        }
        if (!chosen) {
            return fail(key + QStringLiteral(": no value; it takes ") + AllowedText(*field));
        }
        profile.values[IndexOf(*field)] = chosen;
    }
    return profile;
}

QStringList ProfileDifferences(const Profile& profile, const ConfigBlock::ReadWords& regs) {
    QStringList differences;
    for (const Field& field : Fields()) {
        const auto& wanted = profile.values[IndexOf(field)];
        if (!wanted) {
            continue;
        }
        const int module = ConfigBlock::ValueIn(field, regs);
        if (module != *wanted) {
            differences << QStringLiteral("%1: module %2, profile %3")
                               .arg(QLatin1String(field.key), SettingMeaning(field, module),
                                    SettingMeaning(field, *wanted));
        }
    }
    return differences;
}

void ProfileLine(const Profile& profile, int& station, int& baud, int& parity) {
    if (const auto v = profile.values[ConfigBlock::kStationNumber]) {
        station = *v;
    }
    if (const auto v = profile.values[ConfigBlock::kRs485Baud]) {
        // The items are the rates.
        const auto& rates = ConfigBlock::FieldOf(ConfigBlock::kRs485Baud).items;
        baud = QString::fromUtf8(rates[static_cast<std::size_t>(*v)]).toInt();
    }
    if (const auto v = profile.values[ConfigBlock::kFrameFormat]) {
        parity = *v;
    }
}

Outcome ReadProfileFile(const QString& path, Profile& profile) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Outcome::Fail(kExitBadFile, path + QStringLiteral(": ") + file.errorString());
    }
    // Bounds: a profile is a few kilobytes; nothing beyond 1 MiB is read.
    const QByteArray content = file.read(1 << 20);
    QString error;
    const auto read = ReadProfile(content, &error);
    if (!read) {
        return Outcome::Fail(kExitBadFile, path + QStringLiteral(": ") + error);
    }
    profile = *read;
    if (profile.name.isEmpty()) {
        profile.name = QFileInfo(path).completeBaseName();
    }
    return Outcome::Ok();
}
