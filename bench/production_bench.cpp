// What the production records cost: a step put on record in SQLite, a unit's runs and the
// statistics over 100,000 runs of 30 measurements, and 10,000 queued runs copied to a local
// PostgreSQL server. Each figure is printed against its aim and beside a baseline measured in
// the same run: a durable 4 KiB append on the same disk, a full scan of the measurements, and
// reading the queued runs from the local file alone.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

#include "PostgresRig.h"
#include "RecordStore.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double Ms(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

StepRecord MeasureStep(int seq) {
    StepRecord s;
    s.seq = seq;
    s.kind = QStringLiteral("measure");
    s.name = QStringLiteral("CH%1 10mV").arg(seq % 6);
    s.started = QDateTime::currentDateTimeUtc();
    MeasurementRecord m;
    m.quantity = QStringLiteral("channel.%1.acquired").arg(seq % 6);
    m.samples = std::vector<double>(10, 10.0004);
    m.mean = 10.0004;
    m.unit = QStringLiteral("mV");
    m.limits = {9.98, 10.02, 0.005, 9.99, 10.01};
    s.measurement = m;
    return s;
}

bool Exec(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        std::fprintf(stderr, "%s\n%s\n", q.lastError().text().toUtf8().constData(),
                     sql.left(200).toUtf8().constData());
        return false;
    }
    return true;
}

// Fills a records file with `runs` finished runs of `measurements` measure steps each, and
// the statistics tables as the store keeps them, in SQL for speed.
bool Fill(const QString& file, int runs, int measurements, int synced) {
    QString error;
    if (!RecordStore::OpenLocal(file, &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(file);
    bool ok = db.open() && Exec(db, QStringLiteral("PRAGMA synchronous=OFF")) &&
              Exec(db, QStringLiteral("BEGIN"));
    // Rows 0 .. last; written out, since the SQL holds printf and strftime patterns.
    auto n = [](int last) {
        return QStringLiteral(
                   "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                   "WHERE i < ") +
               QString::number(last) + QStringLiteral(") ");
    };
    ok = ok &&
         Exec(db, n(runs - 1) +
                      QStringLiteral(
                          "INSERT INTO runs (uuid, plan_name, plan_revision, plan_sha256, "
                          "file_hashes, serial, chip_id, bench, operator, port, image_crc32, "
                          "firmware_version, program_version, started, duration_ms, result, "
                          "owner, synced) SELECT printf('00000000-0000-4000-8000-%012d', i), "
                          "'出厂测试 TC-K', '3', '', '', printf('SN-%06d', i), '', 'bench', '', "
                          "'COM1', '', '1.50', '1.50', strftime('%Y-%m-%dT%H:%M:%fZ', "
                          "'2026-01-01', '+' || (i * 60) || ' seconds'), 1000, CASE WHEN i % 20 "
                          "= 0 THEN 'FAIL' ELSE 'PASS' END, '', ") +
                      QString::number(synced) + QStringLiteral(" FROM n"));
    ok = ok &&
         Exec(db, n(measurements) +
                      QStringLiteral(
                          "INSERT INTO steps SELECT r.uuid, n.i, 'measure', 'CH' || (n.i % 6) || "
                          "' ' || n.i, CASE WHEN n.i = 1 AND r.result = 'FAIL' THEN 'FAIL' ELSE "
                          "'PASS' END, r.started, 12, '' FROM runs r, n WHERE n.i >= 1"));
    ok = ok &&
         Exec(db, QStringLiteral(
                      "INSERT INTO measurements SELECT s.run_uuid, s.seq, 'channel.0.acquired', "
                      "'10.001 10.002', 10.0 + ((s.rowid * 7919) % 41 - 20) / 2000.0, 0.001, 'mV', "
                      "9.98, 10.02, NULL, NULL, NULL, s.result FROM steps s"));
    ok = ok &&
         Exec(db, QStringLiteral("INSERT INTO unit_first SELECT plan_name, serial, "
                                 "substr(started, 1, 10), result FROM runs")) &&
         Exec(db, QStringLiteral("INSERT INTO day_stats SELECT plan_name, day, count(*), "
                                 "sum(result = 'PASS') FROM unit_first GROUP BY 1, 2")) &&
         Exec(db, QStringLiteral("INSERT INTO step_failures SELECT r.plan_name, "
                                 "substr(r.started, 1, 10), s.name, count(*) FROM steps s JOIN "
                                 "runs r ON r.uuid = s.run_uuid WHERE s.result = 'FAIL' GROUP BY "
                                 "1, 2, 3")) &&
         Exec(db, QStringLiteral("INSERT INTO measurement_stats SELECT r.plan_name, s.name, "
                                 "m.quantity, m.unit, m.low, m.high, count(*), sum(m.mean - "
                                 "m.low), sum((m.mean - m.low) * (m.mean - m.low)) FROM "
                                 "measurements m JOIN steps s ON s.run_uuid = m.run_uuid AND "
                                 "s.seq = m.seq JOIN runs r ON r.uuid = m.run_uuid GROUP BY 1, "
                                 "2, 3, 4, 5, 6")) &&
         Exec(db, QStringLiteral("COMMIT"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/production-bench-XXXXXX"));
    QString error;
    // One part only when named: step, query or sync.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto part = [&](const char* name) { return only.isEmpty() || only == QLatin1String(name); };

    // 1. A step on record, committed durably, against a durable 4 KiB append.
    if (part("step")) {
        auto store = RecordStore::OpenLocal(dir.filePath(QStringLiteral("steps.sqlite")), &error);
        RunRecord run;
        run.uuid = QStringLiteral("bench-run");
        run.started = QDateTime::currentDateTimeUtc();
        store->BeginRun(run, &error);
        std::vector<double> step;
        std::vector<double> append;
        QFile file(dir.filePath(QStringLiteral("append")));
        file.open(QIODevice::WriteOnly);
        const QByteArray block(4096, 'x');
        for (int i = 1; i <= 200; ++i) {
            step.push_back(Ms([&] { store->AddStep(run, MeasureStep(i), &error); }));
            append.push_back(Ms([&] {
                file.write(block);
                file.flush();
                ::fdatasync(file.handle());
            }));
        }
        const double s = Median(step);
        const double a = Median(append);
        std::printf(
            "step on record (SQLite, WAL, synchronous=FULL): median %.2f ms, aim 5 ms "
            "(%.2f of it); a durable 4 KiB append: %.2f ms (ratio %.2f)\n",
            s, s / 5.0, a, s / a);
    }

    // 2. show SERIAL and stats over 100,000 runs of 30 measurements.
    if (part("query")) {
        const QString file = dir.filePath(QStringLiteral("big.sqlite"));
        bool filled = false;
        const double fill = Ms([&] { filled = Fill(file, 100000, 30, 1); });
        if (!filled) {
            return 1;
        }
        auto store = RecordStore::OpenLocal(file, &error);
        std::vector<double> show;
        std::vector<double> stats;
        std::size_t steps = 0;
        std::size_t rows = 0;
        for (int i = 0; i < 20; ++i) {
            show.push_back(Ms([&] {
                steps = (*store->UnitRuns(
                    QStringLiteral("SN-%1").arg(i * 4999, 6, 10, QLatin1Char('0')), &error))[0]
                            .steps.size();
            }));
            stats.push_back(Ms([&] { rows = store->ComputeStats(&error)->measurements.size(); }));
        }
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("scan"));
        db.setDatabaseName(file);
        db.open();
        std::vector<double> scan;
        for (int i = 0; i < 3; ++i) {
            scan.push_back(Ms([&] {
                QSqlQuery q(db);
                q.exec(QStringLiteral("SELECT count(*), avg(mean) FROM measurements"));
                q.next();
            }));
        }
        std::printf(
            "100,000 runs x 30 measurements (filled in %.1f s): records show SERIAL "
            "median %.2f ms (%zu steps), records stats %.2f ms (%zu measurements); aim "
            "100 ms (%.3f and %.3f of it); one scan of the measurements: %.1f ms\n",
            fill / 1000, Median(show), steps, Median(stats), rows, Median(show) / 100,
            Median(stats) / 100, Median(scan));
    }

    // 3. 10,000 queued runs of 30 measurements copied to a local PostgreSQL server.
    if (part("sync")) {
        PostgresRig rig;
        if (!rig.unavailable().isEmpty()) {
            std::printf("sync: skipped, %s\n", rig.unavailable().toUtf8().constData());
            return 0;
        }
        const QString file = dir.filePath(QStringLiteral("queue.sqlite"));
        if (!Fill(file, 10000, 30, 0)) {
            return 1;
        }
        auto store = RecordStore::OpenLocal(file, &error);
        const double read = Ms([&] {
            const std::vector<RunRecord> queued =
                store->List({}, &error).value_or(std::vector<RunRecord>{});
            for (const RunRecord& r : queued) {
                store->Load(r.uuid, &error);
            }
        });
        auto shared =
            RecordStore::OpenShared(*ParseSharedAddress(rig.address(), &error), 30, &error);
        int copied = 0;
        const double sync = Ms([&] { copied = store->SyncTo(*shared, &error); });
        std::printf(
            "sync: %d runs copied in %.2f s, aim 10 s (%.2f of it); reading them from "
            "the local file alone: %.2f s (%.2f of the sync)%s%s\n",
            copied, sync / 1000, sync / 10000, read / 1000, read / sync,
            copied < 0 ? " error: " : "", copied < 0 ? error.toUtf8().constData() : "");
    }
    return 0;
}
