// vr7c records: the runs on record, on this bench or in the line's shared store.

#include <QFile>
#include <QJsonArray>
#include <QSaveFile>

#include "Certificate.h"
#include "Commands.h"
#include "Output.h"
#include "Records.h"

namespace {

QJsonValue Number(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QString RunLine(const RunRecord& r) {
    return QStringLiteral("%1  %2  %3 rev %4  %5  %6  %7 ms")
        .arg(r.uuid, r.serial, r.planName, r.planRevision, r.started.toString(Qt::ISODateWithMs),
             QLatin1String(VerdictName(r.result)))
        .arg(r.durationMs);
}

int List(RecordStore& store, const CliOptions& options, const Output& out) {
    const ProductionOptions& p = options.production;
    RunFilter filter{p.serial, p.since, p.result, p.plan, p.limit};
    QString error;
    const auto runs = store.List(filter, &error);
    if (!runs) {
        return out.Finish(Outcome::Fail(kExitFailure, error));
    }
    QJsonArray list;
    for (const RunRecord& r : *runs) {
        out.Line(RunLine(r));
        list.append(RunJson(r));
    }
    out.Result({{"runs", list}});
    return kExitOk;
}

int Show(RecordStore& store, const CliOptions& options, const Output& out) {
    if (options.arguments.size() != 2) {
        return out.Finish(
            Outcome::Fail(kExitUsage, QStringLiteral("usage: vr7c records show RUN|SERIAL")));
    }
    const QString& key = options.arguments[1];
    QString error;
    std::vector<RunRecord> runs;
    if (const auto run = store.Load(key, &error)) {
        runs.push_back(*run);
    } else if (auto unit = store.UnitRuns(key, &error)) {
        runs = std::move(*unit);
    } else {
        return out.Finish(Outcome::Fail(kExitFailure, error));
    }
    if (runs.empty()) {
        return out.Finish(Outcome::Fail(
            kExitFailure, QStringLiteral("no run and no unit '%1' on record").arg(key)));
    }
    QJsonArray list;
    for (const RunRecord& r : runs) {
        out.Line(RunLine(r));
        if (!r.chipId.isEmpty()) {
            out.Line(QStringLiteral("  chip %1, image CRC-32 %2").arg(r.chipId, r.imageCrc32));
        }
        for (const StepRecord& s : r.steps) {
            out.Line(QStringLiteral("  %1").arg(StepText(s)));
        }
        list.append(RunJson(r));
    }
    out.Result({{"runs", list}});
    return kExitOk;
}

// The run by its UUID, or the unit's newest run by its serial number.
std::optional<RunRecord> RunOrUnit(RecordStore& store, const QString& key, QString* error) {
    if (auto run = store.Load(key, error)) {
        return run;
    }
    auto runs = store.UnitRuns(key, error);
    if (!runs) {
        return std::nullopt;
    }
    if (runs->empty()) {
        *error = QStringLiteral("no run and no unit '%1' on record").arg(key);
        return std::nullopt;
    }
    return std::move(runs->front());
}

int Report(RecordStore& store, const CliOptions& options, const Output& out) {
    const QString& file = options.production.htmlFile;
    if (options.arguments.size() != 2 || file.isEmpty()) {
        return out.Finish(Outcome::Fail(
            kExitUsage, QStringLiteral("usage: vr7c records report RUN|SERIAL --html FILE")));
    }
    QString error;
    const auto run = RunOrUnit(store, options.arguments[1], &error);
    if (!run) {
        return out.Finish(Outcome::Fail(kExitFailure, error));
    }
    QSaveFile html(file);
    if (!html.open(QIODevice::WriteOnly) || html.write(CertificateHtml(*run).toUtf8()) < 0 ||
        !html.commit()) {
        return out.Finish(
            Outcome::Fail(kExitFailure, QStringLiteral("%1: %2").arg(file, html.errorString())));
    }
    out.Line(QStringLiteral("%1 written: %2 %3")
                 .arg(file, run->serial, QLatin1String(VerdictName(run->result))));
    out.Result(
        {{"file", file}, {"uuid", run->uuid}, {"result", QLatin1String(VerdictName(run->result))}});
    return kExitOk;
}

int Export(RecordStore& store, const CliOptions& options, const Output& out) {
    const QString& file = options.production.csvFile;
    if (file.isEmpty()) {
        return out.Finish(
            Outcome::Fail(kExitUsage, QStringLiteral("usage: vr7c records export --csv FILE")));
    }
    QSaveFile csv(file);
    QString error;
    if (!csv.open(QIODevice::WriteOnly) || !store.ExportCsv(csv, &error) || !csv.commit()) {
        return out.Finish(Outcome::Fail(
            kExitFailure,
            QStringLiteral("%1: %2").arg(file, error.isEmpty() ? csv.errorString() : error)));
    }
    out.Line(QStringLiteral("%1 written").arg(file));
    out.Result({{"file", file}});
    return kExitOk;
}

int ShowStats(RecordStore& store, const Output& out) {
    QString error;
    const auto stats = store.ComputeStats(&error);
    if (!stats) {
        return out.Finish(Outcome::Fail(kExitFailure, error));
    }
    QJsonArray days;
    QJsonArray failures;
    QJsonArray measurements;
    out.Line(QStringLiteral("plan\tday\tunits\tfirst pass\tyield"));
    for (const DayStats& d : stats->days) {
        const double yield = d.units > 0 ? static_cast<double>(d.firstPass) / d.units : 0;
        out.Line(QStringLiteral("%1\t%2\t%3\t%4\t%5%")
                     .arg(d.plan, d.day)
                     .arg(d.units)
                     .arg(d.firstPass)
                     .arg(yield * 100, 0, 'f', 1));
        days.append(QJsonObject{{"plan", d.plan},
                                {"day", d.day},
                                {"units", d.units},
                                {"first_pass", d.firstPass},
                                {"first_pass_yield", yield}});
    }
    out.Line(QStringLiteral("\nplan\tday\tstep\tfailures"));
    for (const StepFailures& f : stats->failures) {
        out.Line(QStringLiteral("%1\t%2\t%3\t%4").arg(f.plan, f.day, f.step).arg(f.failures));
        failures.append(QJsonObject{
            {"plan", f.plan}, {"day", f.day}, {"step", f.step}, {"failures", f.failures}});
    }
    out.Line(QStringLiteral("\nplan\tmeasurement\tcount\tmean\tstd dev\tCpk\tlimits"));
    for (const MeasurementStats& m : stats->measurements) {
        out.Line(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7..%8 %9")
                     .arg(m.plan, m.name)
                     .arg(m.count)
                     .arg(m.mean, 0, 'g', 8)
                     .arg(m.deviation, 0, 'g', 4)
                     .arg(m.cpk ? QString::number(*m.cpk, 'f', 2) : QStringLiteral("-"))
                     .arg(m.low)
                     .arg(m.high)
                     .arg(m.unit));
        measurements.append(QJsonObject{{"plan", m.plan},
                                        {"name", m.name},
                                        {"quantity", m.quantity},
                                        {"unit", m.unit},
                                        {"low", m.low},
                                        {"high", m.high},
                                        {"count", m.count},
                                        {"mean", m.mean},
                                        {"std_dev", m.deviation},
                                        {"cpk", Number(m.cpk)}});
    }
    out.Result({{"days", days}, {"failures", failures}, {"measurements", measurements}});
    return kExitOk;
}

int Sync(RecordStore& bench, const CliOptions& options, const Output& out) {
    Outcome refused;
    const QString address = SharedRecordsAddress(options, refused);
    if (!refused.ok()) {
        return out.Finish(refused);
    }
    if (address.isEmpty()) {
        return out.Finish(Outcome::Fail(
            kExitUsage, QStringLiteral("sync needs --records postgresql://... or [records] "
                                       "shared in the settings file")));
    }
    Outcome outcome;
    auto shared = OpenSharedRecords(address, outcome);
    if (!shared) {
        QString ignored;
        return out.Finish(Outcome::Fail(outcome.code, QStringLiteral("%1; %2 runs stay queued")
                                                          .arg(outcome.message)
                                                          .arg(bench.Queued(&ignored))));
    }
    QString error;
    const int copied = bench.SyncTo(*shared, &error);
    if (copied < 0) {
        QString ignored;
        return out.Finish(Outcome::Fail(kExitFailure, QStringLiteral("%1: %2; %3 runs stay queued")
                                                          .arg(shared->where(), error)
                                                          .arg(bench.Queued(&ignored))));
    }
    out.Line(QStringLiteral("%1 runs copied to %2").arg(copied).arg(shared->where()));
    out.Result({{"copied", copied}, {"shared", shared->where()}});
    return kExitOk;
}

}  // namespace

QString SharedRecordsAddress(const CliOptions& options, Outcome& outcome) {
    // --records is checked as the command line is read.
    if (!options.production.sharedAddress.isEmpty()) {
        return options.production.sharedAddress;
    }
    QString source;
    const QString address = ConfiguredSharedAddress(&source);
    QString why;
    if (!address.isEmpty() && !ParseSharedAddress(address, &why)) {
        outcome = Outcome::Fail(kExitUsage, QStringLiteral("%1: %2").arg(source, why));
        return {};
    }
    return address;
}

std::unique_ptr<RecordStore> OpenBenchRecords(const CliOptions& options, Outcome& outcome) {
    const QString file = options.production.recordsFile.isEmpty() ? RecordStore::DefaultFile()
                                                                  : options.production.recordsFile;
    QString error;
    auto store = RecordStore::OpenLocal(file, &error);
    if (!store) {
        outcome = Outcome::Fail(kExitFailure, QStringLiteral("records: %1").arg(error));
    }
    return store;
}

std::unique_ptr<RecordStore> OpenSharedRecords(const QString& address, Outcome& outcome) {
    QString error;
    const auto parsed = ParseSharedAddress(address, &error);
    if (!parsed) {
        outcome = Outcome::Fail(kExitUsage, QStringLiteral("shared records: %1").arg(error));
        return nullptr;
    }
    auto store = RecordStore::OpenShared(*parsed, kSharedTimeoutS, &error);
    if (!store) {
        outcome = Outcome::Fail(kExitNoReply, QStringLiteral("shared records: %1").arg(error));
    }
    return store;
}

QJsonObject StepJson(const StepRecord& s) {
    QJsonObject step{{"seq", s.seq},
                     {"kind", s.kind},
                     {"name", s.name},
                     {"result", QLatin1String(VerdictName(s.verdict))},
                     {"started", s.started.toString(Qt::ISODateWithMs)},
                     {"duration_ms", s.durationMs},
                     {"message", s.message}};
    if (const auto& m = s.measurement) {
        QJsonArray samples;
        for (double v : m->samples) {
            samples.append(v);
        }
        step.insert(QStringLiteral("measurement"),
                    QJsonObject{{"quantity", m->quantity},
                                {"samples", samples},
                                {"mean", m->mean},
                                {"spread", m->spread},
                                {"unit", m->unit},
                                {"low", m->limits.low},
                                {"high", m->limits.high},
                                {"spread_limit", Number(m->limits.spread)},
                                {"marginal_low", Number(m->limits.marginalLow)},
                                {"marginal_high", Number(m->limits.marginalHigh)},
                                {"verdict", QLatin1String(VerdictName(m->verdict))}});
    }
    return step;
}

QJsonObject RunJson(const RunRecord& r) {
    QJsonArray steps;
    for (const StepRecord& s : r.steps) {
        steps.append(StepJson(s));
    }
    return {{"uuid", r.uuid},
            {"plan", r.planName},
            {"revision", r.planRevision},
            {"plan_sha256", r.planSha256},
            {"file_hashes", r.fileHashes},
            {"serial", r.serial},
            {"chip_id", r.chipId},
            {"bench", r.bench},
            {"operator", r.operatorName},
            {"port", r.port},
            {"image_crc32", r.imageCrc32},
            {"firmware_version", r.firmwareVersion},
            {"program_version", r.programVersion},
            {"started", r.started.toString(Qt::ISODateWithMs)},
            {"duration_ms", r.durationMs},
            {"result", QLatin1String(VerdictName(r.result))},
            {"steps", steps}};
}

QString StepText(const StepRecord& s) {
    QString text =
        QStringLiteral("%1 %2  %3").arg(s.seq).arg(s.name, QLatin1String(VerdictName(s.verdict)));
    if (const auto& m = s.measurement; m && !m->samples.empty()) {
        text += QStringLiteral("  %1 %2 in %3..%4")
                    .arg(m->mean, 0, 'g', 8)
                    .arg(m->unit)
                    .arg(m->limits.low)
                    .arg(m->limits.high);
        if (m->samples.size() > 1) {
            text += QStringLiteral(" (spread %1)").arg(m->spread, 0, 'g', 4);
        }
    }
    if (!s.message.isEmpty()) {
        text += QStringLiteral("  ") + s.message;
    }
    return text;
}

int RunRecords(const CliOptions& options, const Output& out) {
    const QString what = options.arguments.value(0);
    static const QStringList kWhat = {"list", "show", "report", "export", "stats", "sync"};
    if (!kWhat.contains(what)) {
        return out.Finish(Outcome::Fail(
            kExitUsage, QStringLiteral("usage: vr7c records list|show|report|export|stats|sync")));
    }
    Outcome outcome;
    // The bench's file is opened in every case: that marks runs of programs that died.
    auto bench = OpenBenchRecords(options, outcome);
    if (!bench) {
        return out.Finish(outcome);
    }
    if (what == QLatin1String("sync")) {
        return Sync(*bench, options, out);
    }
    // With a shared store named, the questions go to the line's records.
    std::unique_ptr<RecordStore> shared;
    if (!options.production.sharedAddress.isEmpty()) {
        shared = OpenSharedRecords(options.production.sharedAddress, outcome);
        if (!shared) {
            return out.Finish(outcome);
        }
    }
    RecordStore& store = shared ? *shared : *bench;
    if (what == QLatin1String("list")) {
        return List(store, options, out);
    }
    if (what == QLatin1String("show")) {
        return Show(store, options, out);
    }
    if (what == QLatin1String("report")) {
        return Report(store, options, out);
    }
    if (what == QLatin1String("export")) {
        return Export(store, options, out);
    }
    return ShowStats(store, out);
}
