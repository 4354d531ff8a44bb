// vr7c config: the configuration block 84 to 96 as a JSON profile.

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "Commands.h"
#include "EnglishNames.h"
#include "ModbusSession.h"
#include "Output.h"

int RunConfig(const CliOptions& o, const Output& out) {
    const QString action = o.arguments.value(0);
    const QString path = o.arguments.value(1);
    const bool needsFile = action == QLatin1String("save") || action == QLatin1String("apply") ||
                           action == QLatin1String("diff");
    if (!(action == QLatin1String("show") && o.arguments.size() == 1) &&
        !(needsFile && o.arguments.size() == 2)) {
        return out.Finish(Outcome::Fail(
            kExitUsage, QStringLiteral("config show|save FILE|apply FILE|diff FILE")));
    }
    Profile wanted;
    if (action == QLatin1String("apply") || action == QLatin1String("diff")) {
        const Outcome read = ReadProfileFile(path, wanted);
        if (!read.ok()) {
            return out.Finish(read);
        }
    }
    ModbusSession session(o);
    Outcome step = session.Open(o.baud);
    ConfigBlock::ReadWords regs{};
    if (step.ok()) {
        step = session.ReadConfig(regs);
    }
    if (!step.ok()) {
        return out.Finish(step);
    }
    if (action == QLatin1String("show") || action == QLatin1String("save")) {
        const Profile profile = ProfileFromRegisters(
            regs, action == QLatin1String("save") ? QFileInfo(path).completeBaseName()
                                                  : QStringLiteral("station %1").arg(o.station));
        const QByteArray json = WriteProfile(profile);
        if (action == QLatin1String("save")) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(json) != json.size() || !file.flush()) {
                return out.Finish(
                    Outcome::Fail(kExitFailure, path + QStringLiteral(": ") + file.errorString()));
            }
            out.Line(QStringLiteral("saved %1").arg(path));
            out.Result({{"saved", path}, {"profile", QJsonDocument::fromJson(json).object()}});
            return kExitOk;
        }
        const auto fields = ConfigBlock::Fields();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int value = *profile.values[i];
            out.Line(
                QStringLiteral("%1  %2 %3 %4  %5  %6")
                    .arg(fields[i].reg)
                    .arg(QLatin1String(fields[i].key), -25)
                    .arg(value, 6)
                    .arg(SettingMeaning(fields[i], value), -14)
                    .arg(QString::fromUtf8(fields[i].label), EnglishSettingLabel(fields[i].label)));
        }
        out.Result({{"profile", QJsonDocument::fromJson(json).object()}});
        return kExitOk;
    }
    if (action == QLatin1String("diff")) {
        const QStringList differences = ProfileDifferences(wanted, regs);
        for (const QString& d : differences) {
            out.Line(d);
        }
        if (differences.isEmpty()) {
            out.Line(QStringLiteral("no differences: the module holds every setting %1 names")
                         .arg(path));
        }
        out.Result({{"differences", QJsonArray::fromStringList(differences)},
                    {"same", differences.isEmpty()}});
        if (!differences.isEmpty() && !out.json()) {
            out.Note(QStringLiteral("vr7c: the module differs from %1 in %2 settings")
                         .arg(path)
                         .arg(differences.size()));
        }
        return differences.isEmpty() ? kExitOk : kExitDiffers;
    }
    std::vector<int> written;
    step = session.ApplyProfile(wanted, written);
    if (!step.ok()) {
        return out.Finish(step);
    }
    QStringList numbers;
    QJsonArray list;
    for (const int reg : written) {
        numbers << QString::number(reg);
        list.append(reg);
    }
    out.Line(QStringLiteral("applied %1: registers %2 written, the settings read back")
                 .arg(path, numbers.join(QStringLiteral(", "))));
    const int station = session.station();
    const auto baud = static_cast<int>(session.baud());
    if (station != o.station || baud != static_cast<int>(o.baud)) {
        out.Line(
            QStringLiteral("the module answers at station %1, %2 baud now").arg(station).arg(baud));
    }
    out.Result({{"applied", path},
                {"registers_written", static_cast<int>(written.size())},
                {"registers", list},
                {"station", station},
                {"baud", baud}});
    return kExitOk;
}
