#include "RecordStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
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
#include <future>
#include <map>
#include <optional>
#include <tuple>

#include <signal.h>
#include <unistd.h>

namespace {

constexpr int kSchemaVersion = 2;
// The shared store stays at the first version: the later steps only index the bench's own queue,
// and a shared store marked newer would lock out benches still on an older vr7c.
constexpr int kSharedSchemaVersion = 1;
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
    // The queue in the order it is copied, so that each batch is read from where the last one
    // ended instead of sorting every queued run again.
    "DROP INDEX IF EXISTS runs_queued",
    "CREATE INDEX runs_queue ON runs (started, uuid) WHERE synced = 0",
};
// The schema version each statement above belongs to.
constexpr int kSchemaStepVersion[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
static_assert(std::size(kSchema) == std::size(kSchemaStepVersion));

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

// One column of a sync batch as a PostgreSQL array literal, bound as one value and spread by
// unnest: the server reads a whole column in one pass.
class ArrayText {
public:
    void Text(const QString& value) {
        Next();
        text_ += QLatin1Char('"');
        if (value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\\'))) {
            for (const QChar c : value) {
                if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
                    text_ += QLatin1Char('\\');
                }
                text_ += c;
            }
        } else {
            text_ += value;
        }
        text_ += QLatin1Char('"');
    }
    void Integer(qint64 value) {
        Next();
        text_ += QString::number(value);
    }
    // Infinity and NaN are not kept: NULL.
    void Number(std::optional<double> value) {
        Next();
        text_ += value && std::isfinite(*value)
                     ? QString::number(*value, 'g', QLocale::FloatingPointShortest)
                     : QStringLiteral("NULL");
    }
    QString Done() const { return QLatin1Char('{') + text_ + QLatin1Char('}'); }

private:
    void Next() {
        if (count_++ > 0) {
            text_ += QLatin1Char(',');
        }
    }

    QString text_;
    int count_ = 0;
};

// The queue: finished runs not yet copied, oldest first, from a given place on.
constexpr const char* kQueuedAfter =
    "synced = 0 AND result <> 'RUNNING' AND (started, uuid) > (?, ?) ORDER BY started, uuid "
    "LIMIT ?";

// One batch of the runs copied together: runs already there stay as they are, and only the
// runs this copy put there bring their steps and measurements (a run already there came with
// all of its own in the same transaction). Gives the UUIDs of the runs put there.
constexpr const char* kCopyBatch =
    "WITH batch AS (SELECT * FROM unnest(CAST(? AS text[]), CAST(? AS text[]), "
    "CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), "
    "CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), "
    "CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), "
    "CAST(? AS bigint[]), CAST(? AS text[])) WITH ORDINALITY AS b(uuid, plan_name, "
    "plan_revision, plan_sha256, file_hashes, serial, chip_id, bench, operator, port, "
    "image_crc32, firmware_version, program_version, started, duration_ms, result, n)), "
    "fresh AS (INSERT INTO runs (uuid, plan_name, plan_revision, plan_sha256, file_hashes, "
    "serial, chip_id, bench, operator, port, image_crc32, firmware_version, program_version, "
    "started, duration_ms, result) SELECT uuid, plan_name, plan_revision, plan_sha256, "
    "file_hashes, serial, chip_id, bench, operator, port, image_crc32, firmware_version, "
    "program_version, started, duration_ms, result FROM batch "
    "ON CONFLICT (uuid) DO NOTHING RETURNING uuid), "
    "put AS (SELECT batch.n, batch.uuid FROM batch JOIN fresh ON fresh.uuid = batch.uuid), "
    "s AS (INSERT INTO steps (run_uuid, seq, kind, name, result, started, duration_ms, message) "
    "SELECT put.uuid, t.seq, t.kind, t.name, t.result, t.started, t.duration_ms, t.message "
    "FROM (SELECT unnest(CAST(? AS bigint[])) AS n, unnest(CAST(? AS integer[])) AS seq, "
    "unnest(CAST(? AS text[])) AS kind, unnest(CAST(? AS text[])) AS name, "
    "unnest(CAST(? AS text[])) AS result, unnest(CAST(? AS text[])) AS started, "
    "unnest(CAST(? AS bigint[])) AS duration_ms, unnest(CAST(? AS text[])) AS message) AS t "
    "JOIN put ON put.n = t.n), "
    "m AS (INSERT INTO measurements (run_uuid, seq, quantity, samples, mean, spread, unit, low, "
    "high, spread_limit, marginal_low, marginal_high, verdict) SELECT put.uuid, t.seq, "
    "t.quantity, t.samples, t.mean, t.spread, t.unit, t.low, t.high, t.spread_limit, "
    "t.marginal_low, t.marginal_high, t.verdict FROM (SELECT "
    "unnest(CAST(? AS bigint[])) AS n, unnest(CAST(? AS integer[])) AS seq, "
    "unnest(CAST(? AS text[])) AS quantity, unnest(CAST(? AS text[])) AS samples, "
    "unnest(CAST(? AS double precision[])) AS mean, "
    "unnest(CAST(? AS double precision[])) AS spread, unnest(CAST(? AS text[])) AS unit, "
    "unnest(CAST(? AS double precision[])) AS low, "
    "unnest(CAST(? AS double precision[])) AS high, "
    "unnest(CAST(? AS double precision[])) AS spread_limit, "
    "unnest(CAST(? AS double precision[])) AS marginal_low, "
    "unnest(CAST(? AS double precision[])) AS marginal_high, "
    "unnest(CAST(? AS text[])) AS verdict) AS t JOIN put ON put.n = t.n) "
    "SELECT uuid FROM fresh";

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

struct RunTally {
    struct Measure {
        QString name;
        QString quantity;
        QString unit;
        double low = 0;
        double high = 0;
        double mean = 0;
    };
    QString planName;
    QString serial;
    QString day;
    Verdict result = Verdict::Running;
    std::vector<QString> failedSteps;
    // Measurements that had good samples.
    std::vector<Measure> measures;

    static RunTally Of(const RunRecord& run) {
        RunTally t{run.planName, run.serial, Day(run), run.result, {}, {}};
        for (const StepRecord& s : run.steps) {
            t.Step(s.name, s.verdict);
            if (s.measurement && !s.measurement->samples.empty()) {
                const MeasurementRecord& m = *s.measurement;
                t.measures.push_back(
                    {s.name, m.quantity, m.unit, m.limits.low, m.limits.high, m.mean});
            }
        }
        return t;
    }
    void Step(const QString& name, Verdict verdict) {
        if (verdict == Verdict::Fail || verdict == Verdict::Error) {
            failedSteps.push_back(name);
        }
    }
};

namespace {

// A batch of queued runs as the shared store takes it, read from the bench's file: every
// column one array text, with the stored texts (times, samples) moved as they are. Steps and
// measurements name their run by its place in the batch, from 1.
struct SyncBatch {
    QString error;  // when the file could not be read
    std::vector<QString> uuids;
    std::vector<RunTally> tallies;  // in the order of the UUIDs
    std::array<ArrayText, 16> runColumns;
    std::array<ArrayText, 8> stepColumns;
    std::array<ArrayText, 13> measurementColumns;
    // The (start, UUID) the batch ends at: the next one starts after it.
    QString lastStarted;
    QString lastUuid;
};

// Reads the batch through `db`, in one snapshot of the file.
bool ReadQueued(const QSqlDatabase& db, const QString& afterStarted, const QString& afterUuid,
                SyncBatch& batch) {
    if (QSqlQuery begin(db); !begin.exec(QStringLiteral("BEGIN"))) {
        batch.error = begin.lastError().text();
        return false;
    }
    const QByteArray runSql =
        QByteArray("SELECT ") + kRunColumns + " FROM runs WHERE " + kQueuedAfter;
    Query runs(db, runSql.constData());
    runs << afterStarted << afterUuid << kSyncBatch;
    if (!runs.Exec(&batch.error)) {
        return false;
    }
    QHash<QString, int> place;
    while (runs.q().next()) {
        const QSqlQuery& r = runs.q();
        const QString uuid = r.value(0).toString();
        const QString started = r.value(13).toString();
        for (int i = 0; i < 16; ++i) {
            if (i == 14) {
                batch.runColumns[i].Integer(r.value(i).toLongLong());
            } else {
                batch.runColumns[i].Text(r.value(i).toString());
            }
        }
        RunTally tally;
        tally.planName = r.value(1).toString();
        tally.serial = r.value(5).toString();
        tally.day =
            QDateTime::fromString(started, Qt::ISODateWithMs).toUTC().date().toString(Qt::ISODate);
        tally.result = VerdictFromName(r.value(15).toString()).value_or(Verdict::Error);
        place.insert(uuid, static_cast<int>(batch.uuids.size()));
        batch.uuids.push_back(uuid);
        batch.tallies.push_back(std::move(tally));
        batch.lastStarted = started;
        batch.lastUuid = uuid;
    }
    runs.q().finish();
    if (batch.uuids.empty()) {
        return QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    }
    // Every step of the batch's runs with its measurement, if any, in one statement.
    const QByteArray stepSql =
        QByteArray(
            "SELECT s.run_uuid, s.seq, s.kind, s.name, s.result, s.started, s.duration_ms, "
            "s.message, m.seq, m.quantity, m.samples, m.mean, m.spread, m.unit, m.low, m.high, "
            "m.spread_limit, m.marginal_low, m.marginal_high, m.verdict FROM steps s "
            "LEFT JOIN measurements m ON m.run_uuid = s.run_uuid AND m.seq = s.seq "
            "WHERE s.run_uuid IN (SELECT uuid FROM runs WHERE ") +
        kQueuedAfter + ")";
    Query steps(db, stepSql.constData());
    steps << afterStarted << afterUuid << kSyncBatch;
    if (!steps.Exec(&batch.error)) {
        return false;
    }
    while (steps.q().next()) {
        const QSqlQuery& r = steps.q();
        const auto at = place.constFind(r.value(0).toString());
        if (at == place.constEnd()) {
            continue;
        }
        const int n = *at + 1;
        const int seq = r.value(1).toInt();
        const QString name = r.value(3).toString();
        const QString result = r.value(4).toString();
        std::array<ArrayText, 8>& s = batch.stepColumns;
        s[0].Integer(n);
        s[1].Integer(seq);
        s[2].Text(r.value(2).toString());
        s[3].Text(name);
        s[4].Text(result);
        s[5].Text(r.value(5).toString());
        s[6].Integer(r.value(6).toLongLong());
        s[7].Text(r.value(7).toString());
        RunTally& tally = batch.tallies[*at];
        tally.Step(name, VerdictFromName(result).value_or(Verdict::Error));
        if (r.value(8).isNull()) {
            continue;
        }
        std::array<ArrayText, 13>& m = batch.measurementColumns;
        const QString quantity = r.value(9).toString();
        const QString samples = r.value(10).toString();
        const double mean = r.value(11).toDouble();
        const QString unit = r.value(13).toString();
        const double low = r.value(14).toDouble();
        const double high = r.value(15).toDouble();
        m[0].Integer(n);
        m[1].Integer(seq);
        m[2].Text(quantity);
        m[3].Text(samples);
        m[4].Number(mean);
        m[5].Number(r.value(12).toDouble());
        m[6].Text(unit);
        m[7].Number(low);
        m[8].Number(high);
        m[9].Number(OptionalDouble(r.value(16)));
        m[10].Number(OptionalDouble(r.value(17)));
        m[11].Number(OptionalDouble(r.value(18)));
        m[12].Text(r.value(19).toString());
        if (!samples.trimmed().isEmpty()) {
            tally.measures.push_back({name, quantity, unit, low, high, mean});
        }
    }
    steps.q().finish();
    return QSqlQuery(db).exec(QStringLiteral("COMMIT"));
}

// The batch of queued runs after (started, uuid), read in one snapshot of the file through a
// connection of this thread's own, so that it can be read while the last one is sent.
SyncBatch ReadQueuedFrom(const QString& file, const QString& afterStarted,
                         const QString& afterUuid) {
    SyncBatch batch;
    const QString name = ConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY").arg(kBusyTimeoutMs));
        if (!db.open() || !ReadQueued(db, afterStarted, afterUuid, batch)) {
            batch.error = batch.error.isEmpty() ? db.lastError().text() : batch.error;
            batch.error = batch.error.isEmpty() ? QStringLiteral("%1: cannot be read").arg(file)
                                                : batch.error;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return batch;
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
        // A connection the driver closed after a failure says nothing more.
        *error = db_.isOpen() ? q.lastError().text() : QStringLiteral("the connection was lost");
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
    const int target = shared_ ? kSharedSchemaVersion : kSchemaVersion;
    if (version > target) {
        return fail(QStringLiteral("the records were written by a newer vr7c (schema %1; this "
                                   "one knows %2)")
                        .arg(version)
                        .arg(target));
    }
    if (version == target) {
        return Commit(error);
    }
    for (std::size_t i = 0; i < std::size(kSchema); ++i) {
        if (kSchemaStepVersion[i] > version && kSchemaStepVersion[i] <= target &&
            !q.exec(QString::fromLatin1(kSchema[i]))) {
            return fail(q.lastError().text());
        }
    }
    Query set(db_, version == 0 ? "INSERT INTO schema_version (version) VALUES (?)"
                                : "UPDATE schema_version SET version = ?");
    set << target;
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
    std::vector<RunTally> accounted;
    for (const RunRecord& r : runs) {
        accounted.push_back(RunTally::Of(r));
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
    if (!q.Exec(error) || !Account({RunTally::Of(run)}, error)) {
        QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return Commit(error);
}

// Adds finished runs to the statistics, inside the caller's transaction. Measurements and
// failures are summed in memory first, so a batch of runs costs one statement per key.
bool RecordStore::Account(const std::vector<RunTally>& runs, QString* error,
                          const std::vector<const RunTally*>* firsts) {
    using MeasureKey = std::tuple<QString, QString, QString, QString, double, double>;
    std::map<MeasureKey, std::tuple<qint64, double, double>> sums;
    std::map<std::tuple<QString, QString, QString>, qint64> failures;
    std::map<std::pair<QString, QString>, std::pair<qint64, qint64>> units;
    auto countUnit = [&](const RunTally& run) {
        auto& [n, passed] = units[{run.planName, run.day}];
        n += 1;
        passed += Passed(run.result) ? 1 : 0;
    };
    if (firsts) {
        for (const RunTally* run : *firsts) {
            countUnit(*run);
        }
    } else {
        Query first(db_,
                    "INSERT INTO unit_first (plan_name, serial, day, result) "
                    "VALUES (?, ?, ?, ?) ON CONFLICT (plan_name, serial) DO NOTHING");
        for (const RunTally& run : runs) {
            first << run.planName << run.serial << run.day
                  << QLatin1String(VerdictName(run.result));
            if (!first.Exec(error)) {
                return false;
            }
            if (first.q().numRowsAffected() == 1) {
                countUnit(run);
            }
        }
    }
    for (const RunTally& run : runs) {
        for (const QString& step : run.failedSteps) {
            ++failures[{run.planName, run.day, step}];
        }
        for (const RunTally::Measure& m : run.measures) {
            auto& [n, s1, s2] = sums[{run.planName, m.name, m.quantity, m.unit, m.low, m.high}];
            const double x = m.mean - m.low;
            n += 1;
            s1 += x;
            s2 += x * x;
        }
    }
    Query days(db_,
               "INSERT INTO day_stats (plan_name, day, units, first_pass) "
               "VALUES (?, ?, ?, ?) ON CONFLICT (plan_name, day) DO UPDATE SET "
               "units = day_stats.units + excluded.units, "
               "first_pass = day_stats.first_pass + excluded.first_pass");
    for (const auto& [key, count] : units) {
        days << key.first << key.second << count.first << count.second;
        if (!days.Exec(error)) {
            return false;
        }
    }
    Query failed(db_,
                 "INSERT INTO step_failures (plan_name, day, step, failures) "
                 "VALUES (?, ?, ?, ?) ON CONFLICT (plan_name, day, step) DO UPDATE SET "
                 "failures = step_failures.failures + excluded.failures");
    for (const auto& [key, count] : failures) {
        failed << std::get<0>(key) << std::get<1>(key) << std::get<2>(key) << count;
        if (!failed.Exec(error)) {
            return false;
        }
    }
    Query measured(db_,
                   "INSERT INTO measurement_stats (plan_name, name, quantity, unit, low, high, "
                   "n, s1, s2) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                   "ON CONFLICT (plan_name, name, unit, low, high) DO UPDATE SET "
                   "n = measurement_stats.n + excluded.n, "
                   "s1 = measurement_stats.s1 + excluded.s1, "
                   "s2 = measurement_stats.s2 + excluded.s2");
    for (const auto& [key, sum] : sums) {
        measured << std::get<0>(key) << std::get<1>(key) << std::get<2>(key) << std::get<3>(key)
                 << std::get<4>(key) << std::get<5>(key) << std::get<0>(sum) << std::get<1>(sum)
                 << std::get<2>(sum);
        if (!measured.Exec(error)) {
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
    // Prepared once there is something to send, in the first batch's transaction.
    std::optional<Query> copy;
    std::optional<Query> first;
    Query done(db_, "UPDATE runs SET synced = 1 WHERE uuid = ?");
    // Puts a batch on the shared store in one transaction; gives how many runs it put there.
    auto send = [&](SyncBatch& batch) {
        if (!shared.Begin(error)) {
            return -1;
        }
        if (!copy) {
            copy.emplace(shared.db_, kCopyBatch);
            // Each unit's first run, for the whole batch in one statement.
            first.emplace(shared.db_,
                          "INSERT INTO unit_first (plan_name, serial, day, result) SELECT * FROM "
                          "unnest(CAST(? AS text[]), CAST(? AS text[]), CAST(? AS text[]), "
                          "CAST(? AS text[])) ON CONFLICT DO NOTHING RETURNING plan_name, serial");
        }
        auto rollback = [&] {
            QSqlQuery(shared.db_).exec(QStringLiteral("ROLLBACK"));
            return -1;
        };
        for (const ArrayText& column : batch.runColumns) {
            *copy << column.Done();
        }
        for (const ArrayText& column : batch.stepColumns) {
            *copy << column.Done();
        }
        for (const ArrayText& column : batch.measurementColumns) {
            *copy << column.Done();
        }
        if (!copy->Exec(error)) {
            return rollback();
        }
        QSet<QString> fresh;
        while (copy->q().next()) {
            fresh.insert(copy->q().value(0).toString());
        }
        copy->q().finish();
        std::vector<RunTally> accounted;
        for (std::size_t i = 0; i < batch.uuids.size(); ++i) {
            if (fresh.contains(batch.uuids[i])) {
                accounted.push_back(std::move(batch.tallies[i]));
            }
        }
        std::map<std::pair<QString, QString>, const RunTally*> byUnit;
        std::array<ArrayText, 4> units;
        for (const RunTally& run : accounted) {
            if (byUnit.emplace(std::pair{run.planName, run.serial}, &run).second) {
                units[0].Text(run.planName);
                units[1].Text(run.serial);
                units[2].Text(run.day);
                units[3].Text(QLatin1String(VerdictName(run.result)));
            }
        }
        for (const ArrayText& column : units) {
            *first << column.Done();
        }
        if (!first->Exec(error)) {
            return rollback();
        }
        std::vector<const RunTally*> firsts;
        while (first->q().next()) {
            firsts.push_back(
                byUnit[{first->q().value(0).toString(), first->q().value(1).toString()}]);
        }
        first->q().finish();
        if (!shared.Account(accounted, error, &firsts) || !shared.Commit(error)) {
            return rollback();
        }
        return static_cast<int>(fresh.size());
    };
    int copied = 0;
    // The next batch is read from the file on a thread of its own while the server takes this
    // one; the batches follow each other in (start, UUID) order.
    std::future<SyncBatch> next =
        std::async(std::launch::async, ReadQueuedFrom, where_, QString(), QString());
    for (;;) {
        SyncBatch batch = next.get();
        if (!batch.error.isEmpty()) {
            *error = batch.error;
            return -1;
        }
        if (batch.uuids.empty()) {
            return copied;
        }
        next = std::async(std::launch::async, ReadQueuedFrom, where_, batch.lastStarted,
                          batch.lastUuid);
        const int put = send(batch);
        if (put < 0) {
            return -1;
        }
        // Copied: off the queue. Should this fail, the next sync finds them there already.
        if (!Begin(error)) {
            return -1;
        }
        for (const QString& uuid : batch.uuids) {
            done << uuid;
            if (!done.Exec(error)) {
                QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
                return -1;
            }
        }
        if (!Commit(error)) {
            return -1;
        }
        copied += put;
    }
}
