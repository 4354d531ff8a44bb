#include "RecordStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>

#include <signal.h>
#include <unistd.h>

namespace {

constexpr int kSchemaVersion = 1;
// A test does not start on a disk with less room than this.
constexpr qint64 kMinFreeBytes = 1 << 20;
constexpr int kBusyTimeoutMs = 10000;
constexpr int kSyncBatch = 500;

// The schema, in SQL that SQLite and PostgreSQL both take, one step per version.
const char* const kSchema[] = {
    R"(CREATE TABLE runs (
        uuid TEXT PRIMARY KEY, plan_name TEXT NOT NULL, plan_revision TEXT NOT NULL,
        plan_sha256 TEXT NOT NULL, file_hashes TEXT NOT NULL, serial TEXT NOT NULL,
        chip_id TEXT NOT NULL, bench TEXT NOT NULL, operator TEXT NOT NULL, port TEXT NOT NULL,
        image_crc32 TEXT NOT NULL, firmware_version TEXT NOT NULL,
        program_version TEXT NOT NULL, started TEXT NOT NULL,
        duration_ms BIGINT NOT NULL DEFAULT 0, result TEXT NOT NULL,
        owner TEXT NOT NULL DEFAULT '', synced INTEGER NOT NULL DEFAULT 0))",
    "CREATE INDEX runs_by_serial ON runs (serial, started)",
    "CREATE INDEX runs_by_start ON runs (started)",
    "CREATE INDEX runs_queued ON runs (synced) WHERE synced = 0",
    R"(CREATE TABLE steps (
        run_uuid TEXT NOT NULL, seq INTEGER NOT NULL, kind TEXT NOT NULL, name TEXT NOT NULL,
        result TEXT NOT NULL, started TEXT NOT NULL, duration_ms BIGINT NOT NULL,
        message TEXT NOT NULL, PRIMARY KEY (run_uuid, seq)))",
    R"(CREATE TABLE measurements (
        run_uuid TEXT NOT NULL, seq INTEGER NOT NULL, quantity TEXT NOT NULL,
        samples TEXT NOT NULL, mean DOUBLE PRECISION NOT NULL,
        spread DOUBLE PRECISION NOT NULL, unit TEXT NOT NULL, low DOUBLE PRECISION NOT NULL,
        high DOUBLE PRECISION NOT NULL, spread_limit DOUBLE PRECISION,
        marginal_low DOUBLE PRECISION, marginal_high DOUBLE PRECISION, verdict TEXT NOT NULL,
        PRIMARY KEY (run_uuid, seq)))",
    // Statistics kept up to date as runs end, so that asking for them does not read every
    // measurement. Sums are taken from the low limit, which keeps them small.
    R"(CREATE TABLE unit_first (plan_name TEXT NOT NULL, serial TEXT NOT NULL, day TEXT NOT NULL,
        result TEXT NOT NULL, PRIMARY KEY (plan_name, serial)))",
    R"(CREATE TABLE day_stats (plan_name TEXT NOT NULL, day TEXT NOT NULL,
        units BIGINT NOT NULL, first_pass BIGINT NOT NULL, PRIMARY KEY (plan_name, day)))",
    R"(CREATE TABLE step_failures (plan_name TEXT NOT NULL, day TEXT NOT NULL,
        step TEXT NOT NULL, failures BIGINT NOT NULL, PRIMARY KEY (plan_name, day, step)))",
    R"(CREATE TABLE measurement_stats (plan_name TEXT NOT NULL, name TEXT NOT NULL,
        quantity TEXT NOT NULL, unit TEXT NOT NULL, low DOUBLE PRECISION NOT NULL,
        high DOUBLE PRECISION NOT NULL, n BIGINT NOT NULL, s1 DOUBLE PRECISION NOT NULL,
        s2 DOUBLE PRECISION NOT NULL, PRIMARY KEY (plan_name, name, unit, low, high)))",
};
// The schema version each statement above belongs to.
constexpr int kSchemaStepVersion[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
static_assert(std::size(kSchema) == std::size(kSchemaStepVersion));

// The queue: finished runs not yet copied, oldest first, a batch at a time.
const char* const kQueuedRuns = "synced = 0 AND result <> 'RUNNING' ORDER BY started, uuid LIMIT ?";

const char* const kRunColumns =
    "uuid, plan_name, plan_revision, plan_sha256, file_hashes, serial, chip_id, bench, "
    "operator, port, image_crc32, firmware_version, program_version, started, duration_ms, "
    "result";

QString ConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("vr7c-records-%1").arg(next++);
}

QString IsoUtc(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QVariant Optional(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>());
}

std::optional<double> OptionalDouble(const QVariant& v) {
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

QString SamplesText(const std::vector<double>& samples) {
    QStringList parts;
    for (double s : samples) {
        parts << QString::number(s, 'g', 17);
    }
    return parts.join(QLatin1Char(' '));
}

// One column of a sync batch as a PostgreSQL array literal, for unnest: the server reads a
// whole column in one pass, without the per-row work of a JSON object, and the client writes it
// straight into UTF-8.
class ArrayText {
public:
    void Text(const QString& value) {
        Next();
        text_ += '"';
        for (const char c : value.toUtf8()) {
            if (c == '"' || c == '\\') {
                text_ += '\\';
            }
            text_ += c;
        }
        text_ += '"';
    }
    void Integer(qint64 value) {
        Next();
        text_ += QByteArray::number(value);
    }
    // Infinity and NaN are not kept: NULL, as a JSON copy wrote them.
    void Number(std::optional<double> value) {
        Next();
        text_ += value && std::isfinite(*value)
                     ? QString::number(*value, 'g', QLocale::FloatingPointShortest).toLatin1()
                     : QByteArray("NULL");
    }
    QString Done() const { return QString::fromUtf8('{' + text_ + '}'); }

private:
    void Next() {
        if (count_++ > 0) {
            text_ += ',';
        }
    }

    QByteArray text_;
    int count_ = 0;
};

// The batch's steps and measurements, a bound array literal per column.
constexpr const char* kInsertSteps =
    "INSERT INTO steps (run_uuid, seq, kind, name, result, started, duration_ms, message) "
    "SELECT * FROM unnest(CAST(? AS text[]), CAST(? AS integer[]), CAST(? AS text[]), "
    "CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), CAST(? AS bigint[]), "
    "CAST(? AS text[]))";
constexpr const char* kInsertMeasurements =
    "INSERT INTO measurements (run_uuid, seq, quantity, samples, mean, spread, unit, low, high, "
    "spread_limit, marginal_low, marginal_high, verdict) SELECT * FROM unnest(CAST(? AS text[]), "
    "CAST(? AS integer[]), CAST(? AS text[]), CAST(? AS text[]), "
    "CAST(? AS double precision[]), CAST(? AS double precision[]), CAST(? AS text[]), "
    "CAST(? AS double precision[]), CAST(? AS double precision[]), "
    "CAST(? AS double precision[]), CAST(? AS double precision[]), "
    "CAST(? AS double precision[]), CAST(? AS text[]))";

// This process on this machine, as its run's owner: host, process ID and the process's start
// time (so that a later process with the same ID is not taken for it).
QString ProcessStart(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold anything.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

QString OwnerOf(qint64 pid) {
    return QStringLiteral("%1:%2:%3")
        .arg(QSysInfo::machineHostName())
        .arg(pid)
        .arg(ProcessStart(pid));
}

bool OwnerAlive(const QString& owner) {
    const QStringList parts = owner.split(QLatin1Char(':'));
    if (parts.size() != 3 || parts[0] != QSysInfo::machineHostName()) {
        // Another machine's run: not for this one to judge.
        return parts.size() == 3;
    }
    return OwnerOf(parts[1].toLongLong()) == owner;
}

class Query {
public:
    Query(const QSqlDatabase& db, const char* sql) : q_(db) {
        q_.setForwardOnly(true);
        prepared_ = q_.prepare(QString::fromUtf8(sql));
    }
    Query& operator<<(const QVariant& v) {
        // An empty text is kept as an empty text, not as NULL.
        const bool nullText = v.typeId() == QMetaType::QString && v.toString().isNull();
        q_.bindValue(next_++, nullText ? QVariant(QString(QLatin1String(""))) : v);
        return *this;
    }
    // Runs the statement with the values given since the last run; it may be given new values
    // and run again without being prepared again.
    bool Exec(QString* error) {
        next_ = 0;
        if (prepared_ && q_.exec()) {
            return true;
        }
        *error = q_.lastError().text();
        return false;
    }
    QSqlQuery& q() { return q_; }

private:
    QSqlQuery q_;
    bool prepared_;
    int next_ = 0;
};

RunRecord RunFromRow(const QSqlQuery& q) {
    RunRecord r;
    r.uuid = q.value(0).toString();
    r.planName = q.value(1).toString();
    r.planRevision = q.value(2).toString();
    r.planSha256 = q.value(3).toString();
    r.fileHashes = q.value(4).toString();
    r.serial = q.value(5).toString();
    r.chipId = q.value(6).toString();
    r.bench = q.value(7).toString();
    r.operatorName = q.value(8).toString();
    r.port = q.value(9).toString();
    r.imageCrc32 = q.value(10).toString();
    r.firmwareVersion = q.value(11).toString();
    r.programVersion = q.value(12).toString();
    r.started = QDateTime::fromString(q.value(13).toString(), Qt::ISODateWithMs);
    r.durationMs = q.value(14).toLongLong();
    r.result = VerdictFromName(q.value(15).toString()).value_or(Verdict::Error);
    return r;
}

QString Day(const RunRecord& run) {
    return run.started.toUTC().date().toString(Qt::ISODate);
}

}  // namespace

bool IsSharedAddress(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://")) ||
           text.startsWith(QLatin1String("postgres://"));
}

std::optional<SharedAddress> ParseSharedAddress(const QString& text, QString* error) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || !IsSharedAddress(text)) {
        *error = QStringLiteral("not a postgresql://user@host:port/database address");
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        *error = QStringLiteral(
            "the address holds a password: give it in ~/.pgpass, PGPASSFILE "
            "or a service file instead");
        return std::nullopt;
    }
    SharedAddress a;
    a.host = url.host();
    a.port = url.port(5432);
    a.user = url.userName();
    a.database = url.path().mid(1);
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        // The client key's password is one too.
        if (key == QLatin1String("password") || key == QLatin1String("sslpassword")) {
            *error = QStringLiteral(
                "the address holds a password: give it in ~/.pgpass, "
                "PGPASSFILE or a service file instead");
            return std::nullopt;
        }
        if (key == QLatin1String("host")) {
            a.host = value;
        } else if (key.contains(QRegularExpression(QStringLiteral("^[a-z_]+$"))) &&
                   !value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('\''))) {
            a.options << key + QLatin1Char('=') + value;
        } else {
            *error = QStringLiteral("connection option '%1' is not one libpq takes").arg(key);
            return std::nullopt;
        }
    }
    if (a.database.isEmpty()) {
        *error = QStringLiteral("the address names no database");
        return std::nullopt;
    }
    return a;
}

RecordStore::RecordStore(QSqlDatabase db, bool shared, QString where)
    : db_(std::move(db)), shared_(shared), where_(std::move(where)) {}

RecordStore::~RecordStore() {
    const QString name = db_.connectionName();
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QString RecordStore::DefaultFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return QDir(folder.isEmpty() ? QDir::homePath() : folder)
        .filePath(QStringLiteral("records.sqlite"));
}

std::unique_ptr<RecordStore> RecordStore::OpenLocal(const QString& file, QString* error) {
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("%1: cannot make the folder").arg(info.absolutePath());
        return nullptr;
    }
    const QStorageInfo disk(info.absolutePath());
    if (disk.isReadOnly()) {
        *error = QStringLiteral("%1: the disk is read-only").arg(file);
        return nullptr;
    }
    if (disk.bytesAvailable() < kMinFreeBytes) {
        *error = QStringLiteral("%1: the disk is full (%2 bytes free)")
                     .arg(file)
                     .arg(disk.bytesAvailable());
        return nullptr;
    }
    if (info.exists() && !info.isWritable()) {
        *error = QStringLiteral("%1: the file is read-only").arg(file);
        return nullptr;
    }
    // The store holds the only handle on its connection, so that it can remove it.
    std::unique_ptr<RecordStore> store(new RecordStore(
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), ConnectionName()), false, file));
    store->db_.setDatabaseName(file);
    store->db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!store->db_.open()) {
        *error = QStringLiteral("%1: %2").arg(file, store->db_.lastError().text());
        return nullptr;
    }
    // Each commit is on the disk when it returns; readers and writers of several processes
    // do not block each other.
    for (const char* pragma :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        QSqlQuery q(store->db_);
        if (!q.exec(QString::fromLatin1(pragma))) {
            *error = QStringLiteral("%1: %2").arg(file, q.lastError().text());
            return nullptr;
        }
    }
    if (!store->PrepareSchema(error) || !store->MarkAbandoned(error)) {
        *error = QStringLiteral("%1: %2").arg(file, *error);
        return nullptr;
    }
    return store;
}

std::unique_ptr<RecordStore> RecordStore::OpenShared(const SharedAddress& a, int timeoutS,
                                                     QString* error) {
    const QString where =
        QStringLiteral("postgresql://%1@%2:%3/%4").arg(a.user, a.host).arg(a.port).arg(a.database);
    std::unique_ptr<RecordStore> store(new RecordStore(
        QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), ConnectionName()), true, where));
    QSqlDatabase& db = store->db_;
    db.setHostName(a.host);
    db.setPort(a.port);
    db.setUserName(a.user);
    db.setDatabaseName(a.database);
    // A server that does not answer, or a line that drops, ends a call within the time-out.
    QStringList options = {QStringLiteral("connect_timeout=%1").arg(timeoutS),
                           QStringLiteral("keepalives=1"),
                           QStringLiteral("keepalives_idle=5"),
                           QStringLiteral("keepalives_interval=2"),
                           QStringLiteral("keepalives_count=2"),
                           QStringLiteral("tcp_user_timeout=%1").arg(timeoutS * 1000)};
    options << a.options;
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!store->db_.open()) {
        *error = QStringLiteral("%1: %2").arg(where, store->db_.lastError().text().trimmed());
        return nullptr;
    }
    QSqlQuery q(store->db_);
    if (!q.exec(QStringLiteral("SET statement_timeout = %1").arg(timeoutS * 1000)) ||
        !q.exec(QStringLiteral("SET client_min_messages = warning")) ||
        !store->PrepareSchema(error)) {
        *error =
            QStringLiteral("%1: %2").arg(where, error->isEmpty() ? q.lastError().text() : *error);
        return nullptr;
    }
    return store;
}

bool RecordStore::Begin(QString* error) {
    QSqlQuery q(db_);
    // SQLite: take the write lock at once, so that two writers wait for each other instead of
    // failing half-way.
    if (!q.exec(shared_ ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"))) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

bool RecordStore::Commit(QString* error) {
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("COMMIT"))) {
        *error = q.lastError().text();
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

bool RecordStore::PrepareSchema(QString* error) {
    if (!Begin(error)) {
        return false;
    }
    auto fail = [&](const QString& why) {
        *error = why;
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    QSqlQuery q(db_);
    if (shared_) {
        // Two benches that start at once do not both create the tables.
        q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7207)"));
    }
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER "
                               "NOT NULL)")) ||
        !q.exec(QStringLiteral("SELECT version FROM schema_version"))) {
        return fail(q.lastError().text());
    }
    int version = 0;
    if (q.next()) {
        version = q.value(0).toInt();
    }
    q.finish();
    if (version > kSchemaVersion) {
        return fail(QStringLiteral("the records were written by a newer vr7c (schema %1; this "
                                   "one knows %2)")
                        .arg(version)
                        .arg(kSchemaVersion));
    }
    if (version == kSchemaVersion) {
        return Commit(error);
    }
    for (std::size_t i = 0; i < std::size(kSchema); ++i) {
        if (kSchemaStepVersion[i] > version && !q.exec(QString::fromLatin1(kSchema[i]))) {
            return fail(q.lastError().text());
        }
    }
    Query set(db_, version == 0 ? "INSERT INTO schema_version (version) VALUES (?)"
                                : "UPDATE schema_version SET version = ?");
    set << kSchemaVersion;
    if (!set.Exec(error)) {
        return fail(*error);
    }
    return Commit(error);
}

bool RecordStore::MarkAbandoned(QString* error) {
    if (!Begin(error)) {
        return false;
    }
    Query running(db_, "SELECT uuid, owner FROM runs WHERE result = 'RUNNING'");
    if (!running.Exec(error)) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    QStringList gone;
    while (running.q().next()) {
        if (!OwnerAlive(running.q().value(1).toString())) {
            gone << running.q().value(0).toString();
        }
    }
    running.q().finish();
    std::vector<RunRecord> runs;
    for (const QString& uuid : gone) {
        auto run = Load(uuid, error);
        if (!run) {
            QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        run->result = Verdict::Aborted;
        run->durationMs = 0;
        for (const StepRecord& s : run->steps) {
            run->durationMs =
                std::max(run->durationMs, run->started.msecsTo(s.started) + s.durationMs);
        }
        Query mark(db_, "UPDATE runs SET result = 'ABORTED', duration_ms = ? WHERE uuid = ?");
        mark << run->durationMs << uuid;
        if (!mark.Exec(error)) {
            QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        runs.push_back(std::move(*run));
    }
    std::vector<const RunRecord*> accounted;
    for (const RunRecord& r : runs) {
        accounted.push_back(&r);
    }
    if (!Account(accounted, error)) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    abandoned_ = static_cast<int>(runs.size());
    return Commit(error);
}

bool RecordStore::BeginRun(const RunRecord& run, QString* error) {
    Query q(db_,
            "INSERT INTO runs (uuid, plan_name, plan_revision, plan_sha256, file_hashes, "
            "serial, chip_id, bench, operator, port, image_crc32, firmware_version, "
            "program_version, started, duration_ms, result, owner) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 'RUNNING', ?)");
    q << run.uuid << run.planName << run.planRevision << run.planSha256 << run.fileHashes
      << run.serial << run.chipId << run.bench << run.operatorName << run.port << run.imageCrc32
      << run.firmwareVersion << run.programVersion << IsoUtc(run.started) << OwnerOf(::getpid());
    return q.Exec(error);
}

bool RecordStore::AddStep(const RunRecord& run, const StepRecord& s, QString* error) {
    if (!Begin(error)) {
        return false;
    }
    Query step(db_,
               "INSERT INTO steps (run_uuid, seq, kind, name, result, started, duration_ms, "
               "message) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    step << run.uuid << s.seq << s.kind << s.name << QLatin1String(VerdictName(s.verdict))
         << IsoUtc(s.started) << s.durationMs << s.message;
    Query identity(db_,
                   "UPDATE runs SET chip_id = ?, image_crc32 = ?, firmware_version = ? "
                   "WHERE uuid = ?");
    identity << run.chipId << run.imageCrc32 << run.firmwareVersion << run.uuid;
    bool ok = step.Exec(error) && identity.Exec(error);
    if (ok && s.measurement) {
        const MeasurementRecord& m = *s.measurement;
        Query mq(db_,
                 "INSERT INTO measurements (run_uuid, seq, quantity, samples, mean, spread, "
                 "unit, low, high, spread_limit, marginal_low, marginal_high, verdict) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        mq << run.uuid << s.seq << m.quantity << SamplesText(m.samples) << m.mean << m.spread
           << m.unit << m.limits.low << m.limits.high << Optional(m.limits.spread)
           << Optional(m.limits.marginalLow) << Optional(m.limits.marginalHigh)
           << QLatin1String(VerdictName(m.verdict));
        ok = mq.Exec(error);
    }
    if (!ok) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return Commit(error);
}

bool RecordStore::FinishRun(const RunRecord& run, QString* error) {
    if (!Begin(error)) {
        return false;
    }
    Query q(db_,
            "UPDATE runs SET result = ?, duration_ms = ?, chip_id = ?, image_crc32 = ?, "
            "firmware_version = ? WHERE uuid = ?");
    q << QLatin1String(VerdictName(run.result)) << run.durationMs << run.chipId << run.imageCrc32
      << run.firmwareVersion << run.uuid;
    if (!q.Exec(error) || !Account({&run}, error)) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return Commit(error);
}

// Adds finished runs to the statistics, inside the caller's transaction. Measurements and
// failures are summed in memory first, so a batch of runs costs one statement per key.
bool RecordStore::Account(const std::vector<const RunRecord*>& runs, QString* error,
                          const std::vector<const RunRecord*>* firsts) {
    using MeasureKey = std::tuple<QString, QString, QString, QString, double, double>;
    std::map<MeasureKey, std::tuple<qint64, double, double>> sums;
    std::map<std::tuple<QString, QString, QString>, qint64> failures;
    Query first(db_,
                "INSERT INTO unit_first (plan_name, serial, day, result) "
                "VALUES (?, ?, ?, ?) ON CONFLICT (plan_name, serial) DO NOTHING");
    Query days(db_,
               "INSERT INTO day_stats (plan_name, day, units, first_pass) "
               "VALUES (?, ?, ?, ?) ON CONFLICT (plan_name, day) DO UPDATE SET "
               "units = day_stats.units + excluded.units, "
               "first_pass = day_stats.first_pass + excluded.first_pass");
    std::map<std::pair<QString, QString>, std::pair<qint64, qint64>> units;
    auto countUnit = [&](const RunRecord& run) {
        auto& [n, passed] = units[{run.planName, Day(run)}];
        n += 1;
        passed += Passed(run.result) ? 1 : 0;
    };
    if (firsts) {
        for (const RunRecord* run : *firsts) {
            countUnit(*run);
        }
    }
    for (const RunRecord* run : runs) {
        const QString day = Day(*run);
        if (!firsts) {
            first << run->planName << run->serial << day << QLatin1String(VerdictName(run->result));
            if (!first.Exec(error)) {
                return false;
            }
            if (first.q().numRowsAffected() == 1) {
                countUnit(*run);
            }
        }
        for (const StepRecord& s : run->steps) {
            if (s.verdict == Verdict::Fail || s.verdict == Verdict::Error) {
                ++failures[{run->planName, day, s.name}];
            }
            if (s.measurement && !s.measurement->samples.empty()) {
                const MeasurementRecord& m = *s.measurement;
                auto& [n, s1, s2] =
                    sums[{run->planName, s.name, m.quantity, m.unit, m.limits.low, m.limits.high}];
                const double x = m.mean - m.limits.low;
                n += 1;
                s1 += x;
                s2 += x * x;
            }
        }
    }
    for (const auto& [key, count] : units) {
        days << key.first << key.second << count.first << count.second;
        if (!days.Exec(error)) {
            return false;
        }
    }
    for (const auto& [key, count] : failures) {
        Query q(db_,
                "INSERT INTO step_failures (plan_name, day, step, failures) "
                "VALUES (?, ?, ?, ?) ON CONFLICT (plan_name, day, step) DO UPDATE SET "
                "failures = step_failures.failures + excluded.failures");
        q << std::get<0>(key) << std::get<1>(key) << std::get<2>(key) << count;
        if (!q.Exec(error)) {
            return false;
        }
    }
    for (const auto& [key, sum] : sums) {
        Query q(db_,
                "INSERT INTO measurement_stats (plan_name, name, quantity, unit, low, high, "
                "n, s1, s2) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                "ON CONFLICT (plan_name, name, unit, low, high) DO UPDATE SET "
                "n = measurement_stats.n + excluded.n, "
                "s1 = measurement_stats.s1 + excluded.s1, "
                "s2 = measurement_stats.s2 + excluded.s2");
        q << std::get<0>(key) << std::get<1>(key) << std::get<2>(key) << std::get<3>(key)
          << std::get<4>(key) << std::get<5>(key) << std::get<0>(sum) << std::get<1>(sum)
          << std::get<2>(sum);
        if (!q.Exec(error)) {
            return false;
        }
    }
    return true;
}

std::optional<std::vector<RunRecord>> RecordStore::List(const RunFilter& f, QString* error) {
    // The statement is put together from fixed conditions, one for each filter given (so that
    // the indexes serve); the filters' values are bound, never written into it.
    QByteArray sql = QByteArray("SELECT ") + kRunColumns + " FROM runs WHERE 1 = 1";
    QVariantList values;
    const std::pair<const char*, const QString*> conditions[] = {{" AND serial = ?", &f.serial},
                                                                 {" AND started >= ?", &f.since},
                                                                 {" AND result = ?", &f.result},
                                                                 {" AND plan_name = ?", &f.plan}};
    for (const auto& [condition, value] : conditions) {
        if (!value->isEmpty()) {
            sql += condition;
            values << *value;
        }
    }
    sql += " ORDER BY started DESC, uuid LIMIT ?";
    Query q(db_, sql.constData());
    for (const QVariant& v : values) {
        q << v;
    }
    q << (f.limit > 0 ? f.limit : std::numeric_limits<int>::max());
    if (!q.Exec(error)) {
        return std::nullopt;
    }
    std::vector<RunRecord> runs;
    while (q.q().next()) {
        runs.push_back(RunFromRow(q.q()));
    }
    return runs;
}

std::optional<RunRecord> RecordStore::Load(const QString& uuid, QString* error) {
    const QByteArray sql = QByteArray("SELECT ") + kRunColumns + " FROM runs WHERE uuid = ?";
    Query q(db_, sql.constData());
    q << uuid;
    if (!q.Exec(error)) {
        return std::nullopt;
    }
    if (!q.q().next()) {
        *error = QStringLiteral("no run %1").arg(uuid);
        return std::nullopt;
    }
    RunRecord run = RunFromRow(q.q());
    q.q().finish();
    if (!LoadSteps(run, error)) {
        return std::nullopt;
    }
    return run;
}

bool RecordStore::LoadSteps(RunRecord& run, QString* error) {
    std::map<QString, RunRecord*> one{{run.uuid, &run}};
    return LoadSteps(one, "run_uuid = ?", run.uuid, error);
}

bool RecordStore::LoadSteps(std::map<QString, RunRecord*>& runs, const char* which,
                            const QVariant& value, QString* error) {
    const QByteArray stepSql = QByteArray(
                                   "SELECT run_uuid, seq, kind, name, result, started, "
                                   "duration_ms, message FROM steps WHERE ") +
                               which + " ORDER BY run_uuid, seq";
    Query steps(db_, stepSql.constData());
    steps << value;
    if (!steps.Exec(error)) {
        return false;
    }
    std::map<std::pair<QString, int>, StepRecord*> bySeq;
    while (steps.q().next()) {
        const QSqlQuery& r = steps.q();
        const auto run = runs.find(r.value(0).toString());
        if (run == runs.end()) {
            continue;
        }
        StepRecord s;
        s.seq = r.value(1).toInt();
        s.kind = r.value(2).toString();
        s.name = r.value(3).toString();
        s.verdict = VerdictFromName(r.value(4).toString()).value_or(Verdict::Error);
        s.started = QDateTime::fromString(r.value(5).toString(), Qt::ISODateWithMs);
        s.durationMs = r.value(6).toLongLong();
        s.message = r.value(7).toString();
        run->second->steps.push_back(std::move(s));
    }
    for (auto& [uuid, run] : runs) {
        for (StepRecord& s : run->steps) {
            bySeq[{uuid, s.seq}] = &s;
        }
    }
    const QByteArray measurementSql =
        QByteArray(
            "SELECT run_uuid, seq, quantity, samples, mean, spread, unit, low, high, "
            "spread_limit, marginal_low, marginal_high, verdict FROM measurements WHERE ") +
        which;
    Query m(db_, measurementSql.constData());
    m << value;
    if (!m.Exec(error)) {
        return false;
    }
    while (m.q().next()) {
        const QSqlQuery& r = m.q();
        const auto it = bySeq.find({r.value(0).toString(), r.value(1).toInt()});
        if (it == bySeq.end()) {
            continue;
        }
        MeasurementRecord rec;
        rec.quantity = r.value(2).toString();
        for (const QString& v : r.value(3).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            rec.samples.push_back(v.toDouble());
        }
        rec.mean = r.value(4).toDouble();
        rec.spread = r.value(5).toDouble();
        rec.unit = r.value(6).toString();
        rec.limits.low = r.value(7).toDouble();
        rec.limits.high = r.value(8).toDouble();
        rec.limits.spread = OptionalDouble(r.value(9));
        rec.limits.marginalLow = OptionalDouble(r.value(10));
        rec.limits.marginalHigh = OptionalDouble(r.value(11));
        rec.verdict = VerdictFromName(r.value(12).toString()).value_or(Verdict::Error);
        it->second->measurement = std::move(rec);
    }
    return true;
}

std::optional<std::vector<RunRecord>> RecordStore::UnitRuns(const QString& serial, QString* error) {
    RunFilter filter;
    filter.serial = serial;
    auto runs = List(filter, error);
    if (!runs) {
        return std::nullopt;
    }
    for (RunRecord& run : *runs) {
        if (!LoadSteps(run, error)) {
            return std::nullopt;
        }
    }
    return runs;
}

bool RecordStore::ExportCsv(QIODevice& out, QString* error) {
    Query q(db_,
            "SELECT r.uuid, r.serial, r.plan_name, r.plan_revision, r.started, r.result, "
            "s.seq, s.name, m.quantity, m.mean, m.spread, m.unit, m.low, m.high, "
            "m.marginal_low, m.marginal_high, m.verdict, m.samples, r.chip_id, r.bench, "
            "r.port FROM measurements m JOIN runs r ON r.uuid = m.run_uuid "
            "JOIN steps s ON s.run_uuid = m.run_uuid AND s.seq = m.seq "
            "ORDER BY r.started, r.uuid, s.seq");
    if (!q.Exec(error)) {
        return false;
    }
    auto field = [](const QVariant& v) -> QString {
        if (v.typeId() == QMetaType::Double) {
            return QString::number(v.toDouble(), 'g', 12);
        }
        QString text = v.toString();
        // A text a spreadsheet would take for a formula (a serial number "=1+1", a bench
        // "@x") is kept as text by a leading apostrophe; numbers are written as they are.
        if (v.typeId() == QMetaType::QString && !text.isEmpty() &&
            QStringView(u"=+-@\t\r").contains(text.front())) {
            text.prepend(QLatin1Char('\''));
        }
        if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
            text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
            text.replace(QLatin1String("\""), QLatin1String("\"\""));
            return QLatin1Char('"') + text + QLatin1Char('"');
        }
        return text;
    };
    out.write(
        "run,serial,plan,revision,started,run_result,step,name,quantity,mean,spread,unit,"
        "low,high,marginal_low,marginal_high,verdict,samples,chip_id,bench,port\n");
    while (q.q().next()) {
        QStringList row;
        for (int i = 0; i < 21; ++i) {
            row << field(q.q().value(i));
        }
        if (out.write((row.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()) < 0) {
            *error = out.errorString();
            return false;
        }
    }
    return true;
}

std::optional<Stats> RecordStore::ComputeStats(QString* error) {
    Stats stats;
    Query days(db_,
               "SELECT plan_name, day, units, first_pass FROM day_stats "
               "ORDER BY plan_name, day");
    if (!days.Exec(error)) {
        return std::nullopt;
    }
    while (days.q().next()) {
        const QSqlQuery& r = days.q();
        stats.days.push_back(
            {r.value(0).toString(), r.value(1).toString(), r.value(2).toInt(), r.value(3).toInt()});
    }
    Query fails(db_,
                "SELECT plan_name, day, step, failures FROM step_failures "
                "ORDER BY plan_name, day, failures DESC, step");
    if (!fails.Exec(error)) {
        return std::nullopt;
    }
    while (fails.q().next()) {
        const QSqlQuery& r = fails.q();
        stats.failures.push_back({r.value(0).toString(), r.value(1).toString(),
                                  r.value(2).toString(), r.value(3).toInt()});
    }
    Query ms(db_,
             "SELECT plan_name, name, quantity, unit, low, high, n, s1, s2 "
             "FROM measurement_stats ORDER BY plan_name, name, low, high");
    if (!ms.Exec(error)) {
        return std::nullopt;
    }
    while (ms.q().next()) {
        const QSqlQuery& r = ms.q();
        MeasurementStats m;
        m.plan = r.value(0).toString();
        m.name = r.value(1).toString();
        m.quantity = r.value(2).toString();
        m.unit = r.value(3).toString();
        m.low = r.value(4).toDouble();
        m.high = r.value(5).toDouble();
        m.count = r.value(6).toLongLong();
        const double n = static_cast<double>(m.count);
        const double s1 = r.value(7).toDouble();
        const double s2 = r.value(8).toDouble();
        m.mean = m.low + s1 / n;
        if (m.count > 1) {
            m.deviation = std::sqrt(std::max(0.0, (s2 - s1 * s1 / n) / (n - 1)));
        }
        if (m.deviation > 0) {
            m.cpk = std::min(m.high - m.mean, m.mean - m.low) / (3 * m.deviation);
        }
        stats.measurements.push_back(m);
    }
    return stats;
}

int RecordStore::Queued(QString* error) {
    Query q(db_, "SELECT count(*) FROM runs WHERE synced = 0 AND result <> 'RUNNING'");
    if (!q.Exec(error) || !q.q().next()) {
        return -1;
    }
    return q.q().value(0).toInt();
}

int RecordStore::SyncTo(RecordStore& shared, QString* error) {
    int copied = 0;
    for (;;) {
        // The batch, read in one snapshot of the file: its runs, then all their steps and
        // measurements at once.
        if (!Begin(error)) {
            return -1;
        }
        const QByteArray queuedSql =
            QByteArray("SELECT ") + kRunColumns + " FROM runs WHERE " + kQueuedRuns;
        Query queued(db_, queuedSql.constData());
        queued << kSyncBatch;
        if (!queued.Exec(error)) {
            QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
            return -1;
        }
        std::vector<RunRecord> runs;
        while (queued.q().next()) {
            runs.push_back(RunFromRow(queued.q()));
        }
        queued.q().finish();
        std::map<QString, RunRecord*> byUuid;
        QStringList uuids;
        for (RunRecord& run : runs) {
            byUuid[run.uuid] = &run;
            uuids << run.uuid;
        }
        const QByteArray which =
            QByteArray("run_uuid IN (SELECT uuid FROM runs WHERE ") + kQueuedRuns + ")";
        const bool read = LoadSteps(byUuid, which.constData(), kSyncBatch, error);
        if (!Commit(error) || !read) {
            return -1;
        }
        if (runs.empty()) {
            return copied;
        }
        QJsonArray runRows;
        for (const RunRecord& queuedRun : runs) {
            const RunRecord* run = &queuedRun;
            runRows.append(QJsonObject{
                {"uuid", run->uuid},
                {"plan_name", run->planName},
                {"plan_revision", run->planRevision},
                {"plan_sha256", run->planSha256},
                {"file_hashes", run->fileHashes},
                {"serial", run->serial},
                {"chip_id", run->chipId},
                {"bench", run->bench},
                {"operator", run->operatorName},
                {"port", run->port},
                {"image_crc32", run->imageCrc32},
                {"firmware_version", run->firmwareVersion},
                {"program_version", run->programVersion},
                {"started", IsoUtc(run->started)},
                {"duration_ms", run->durationMs},
                {"result", QLatin1String(VerdictName(run->result))},
            });
        }
        auto json = [](const QJsonArray& rows) {
            return QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact));
        };
        // The whole batch as three bound JSON texts; runs already there stay as they are.
        if (!shared.Begin(error)) {
            return -1;
        }
        auto rollback = [&] {
            QSqlQuery(shared.db_).exec(QStringLiteral("ROLLBACK"));
            return -1;
        };
        const QByteArray insertRuns =
            QByteArray("INSERT INTO runs (") + kRunColumns + ") SELECT " + kRunColumns +
            " FROM json_populate_recordset(CAST(NULL AS runs), CAST(? AS json)) "
            "ON CONFLICT (uuid) DO NOTHING RETURNING uuid";
        Query r(shared.db_, insertRuns.constData());
        r << json(runRows);
        if (!r.Exec(error)) {
            return rollback();
        }
        QSet<QString> fresh;
        while (r.q().next()) {
            fresh.insert(r.q().value(0).toString());
        }
        r.q().finish();
        // Only the runs this copy put there bring their steps: a run already there came with
        // all of its own in the same transaction.
        std::vector<const RunRecord*> accounted;
        // Columns in the order of the statements above.
        std::array<ArrayText, 8> steps;
        std::array<ArrayText, 13> measurements;
        for (const RunRecord& queuedRun : runs) {
            if (!fresh.contains(queuedRun.uuid)) {
                continue;
            }
            const RunRecord* run = &queuedRun;
            accounted.push_back(run);
            for (const StepRecord& s : run->steps) {
                steps[0].Text(run->uuid);
                steps[1].Integer(s.seq);
                steps[2].Text(s.kind);
                steps[3].Text(s.name);
                steps[4].Text(QLatin1String(VerdictName(s.verdict)));
                steps[5].Text(IsoUtc(s.started));
                steps[6].Integer(s.durationMs);
                steps[7].Text(s.message);
                if (const auto& m = s.measurement) {
                    measurements[0].Text(run->uuid);
                    measurements[1].Integer(s.seq);
                    measurements[2].Text(m->quantity);
                    measurements[3].Text(SamplesText(m->samples));
                    measurements[4].Number(m->mean);
                    measurements[5].Number(m->spread);
                    measurements[6].Text(m->unit);
                    measurements[7].Number(m->limits.low);
                    measurements[8].Number(m->limits.high);
                    measurements[9].Number(m->limits.spread);
                    measurements[10].Number(m->limits.marginalLow);
                    measurements[11].Number(m->limits.marginalHigh);
                    measurements[12].Text(QLatin1String(VerdictName(m->verdict)));
                }
            }
        }
        Query s(shared.db_, kInsertSteps);
        for (const ArrayText& column : steps) {
            s << column.Done();
        }
        Query m(shared.db_, kInsertMeasurements);
        for (const ArrayText& column : measurements) {
            m << column.Done();
        }
        // Each unit's first run, for the whole batch in one statement.
        QJsonArray firstRows;
        std::map<std::pair<QString, QString>, const RunRecord*> byUnit;
        for (const RunRecord* run : accounted) {
            if (byUnit.emplace(std::pair{run->planName, run->serial}, run).second) {
                firstRows.append(QJsonObject{{"plan_name", run->planName},
                                             {"serial", run->serial},
                                             {"day", Day(*run)},
                                             {"result", QLatin1String(VerdictName(run->result))}});
            }
        }
        Query f(shared.db_,
                "INSERT INTO unit_first SELECT * FROM json_populate_recordset(CAST(NULL AS "
                "unit_first), CAST(? AS json)) ON CONFLICT DO NOTHING RETURNING plan_name, serial");
        f << json(firstRows);
        if (!s.Exec(error) || !m.Exec(error) || !f.Exec(error)) {
            return rollback();
        }
        std::vector<const RunRecord*> firsts;
        while (f.q().next()) {
            firsts.push_back(byUnit[{f.q().value(0).toString(), f.q().value(1).toString()}]);
        }
        f.q().finish();
        if (!shared.Account(accounted, error, &firsts) || !shared.Commit(error)) {
            return rollback();
        }
        // Copied: off the queue. Should this fail, the next sync finds them there already.
        if (!Begin(error)) {
            return -1;
        }
        Query done(db_, "UPDATE runs SET synced = 1 WHERE uuid = ?");
        for (const QString& uuid : uuids) {
            done << uuid;
            if (!done.Exec(error)) {
                QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
                return -1;
            }
        }
        if (!Commit(error)) {
            return -1;
        }
        copied += static_cast<int>(fresh.size());
    }
}
