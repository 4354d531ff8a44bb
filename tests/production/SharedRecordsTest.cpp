// Runs copied to a real PostgreSQL server: once only, and queued while it is away.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include "FakeUnit.h"
#include "PostgresRig.h"
#include "RecordStore.h"
#include "RunRecorder.h"

namespace {

class SharedRecords : public ::testing::Test {
protected:
    static void SetUpTestSuite() { rig_ = new PostgresRig; }
    static void TearDownTestSuite() {
        delete rig_;
        rig_ = nullptr;
    }
    void SetUp() override {
        if (!rig_->unavailable().isEmpty()) {
            GTEST_SKIP() << "no PostgreSQL server: " << rig_->unavailable().toStdString();
        }
        rig_->Psql(
            QStringLiteral("DROP TABLE IF EXISTS schema_version, runs, steps, "
                           "measurements, unit_first, day_stats, step_failures, "
                           "measurement_stats"));
    }
    std::unique_ptr<RecordStore> Shared() {
        QString error;
        auto store =
            RecordStore::OpenShared(*ParseSharedAddress(rig_->address(), &error), 5, &error);
        EXPECT_TRUE(store) << error.toStdString();
        return store;
    }
    QString Count(const char* table) {
        return rig_->Psql(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)));
    }
    static PostgresRig* rig_;
};
PostgresRig* SharedRecords::rig_ = nullptr;

Plan TestPlan() {
    PlanError error;
    return *ParsePlan(
        "name = \"p\"\nrevision = 1\n[[step]]\nkind = \"measure\"\nname = \"\\\"{a\\\\b}, NULL "
        "é\"\n"
        "quantity = \"channel.value\"\nchannels = \"0-2\"\nlow = 20\nhigh = 30\n",
        {}, &error);
}

// CH2 reads `ch2` tenths of a degree; 20 to 30 degrees pass.
RunRecord RunOnBench(RecordStore& bench, const QString& serial, const std::function<void()>& midway,
                     std::uint16_t ch2 = 250) {
    QString error;
    const Plan plan = TestPlan();
    RunRecord run = *NewRun(plan, &error);
    run.serial = serial;
    EXPECT_TRUE(bench.BeginRun(run, &error));
    FakeUnit unit;
    unit.regs[0] = unit.regs[1] = 250;
    unit.regs[2] = ch2;
    RunRecorder recorder(bench, [&](const RunRecord&, const StepRecord& s) {
        if (s.seq == 2) {
            midway();
        }
    });
    Runner(plan, unit, recorder).Run(run);
    EXPECT_TRUE(bench.FinishRun(run, &error)) << error.toStdString();
    return run;
}

TEST_F(SharedRecords, ARunIsCopiedOnceOnlyAndWaitsWhileTheServerIsAway) {
    QTemporaryDir dir;
    QString error;
    auto bench = RecordStore::OpenLocal(dir.filePath(QStringLiteral("r.sqlite")), &error);
    ASSERT_TRUE(bench);
    RunOnBench(*bench, QStringLiteral("SN-1"), [] {});
    auto shared = Shared();
    ASSERT_TRUE(shared);
    EXPECT_EQ(bench->SyncTo(*shared, &error), 1) << error.toStdString();
    EXPECT_EQ(bench->SyncTo(*shared, &error), 0);
    // The server goes away in the middle of the next run: the run ends and waits.
    RunOnBench(
        *bench, QStringLiteral("SN-2"), [] { ASSERT_TRUE(rig_->Kill()); }, 350);
    EXPECT_EQ(bench->SyncTo(*shared, &error), -1);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(bench->Queued(&error), 1);
    ASSERT_TRUE(rig_->Start());
    shared = Shared();
    ASSERT_TRUE(shared);
    EXPECT_EQ(bench->SyncTo(*shared, &error), 1) << error.toStdString();
    EXPECT_EQ(bench->Queued(&error), 0);
    EXPECT_EQ(Count("runs"), QStringLiteral("2"));
    EXPECT_EQ(Count("steps"), QStringLiteral("6"));
    EXPECT_EQ(Count("measurements"), QStringLiteral("6"));
    // A copy of the file made before the runs were copied sends them again: no second row.
    QFile::copy(dir.filePath(QStringLiteral("r.sqlite")), dir.filePath(QStringLiteral("c.sqlite")));
    auto copy = RecordStore::OpenLocal(dir.filePath(QStringLiteral("c.sqlite")), &error);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->Queued(&error), 0);
    const auto unit = shared->UnitRuns(QStringLiteral("SN-2"), &error);
    ASSERT_TRUE(unit) << error.toStdString();
    ASSERT_EQ(unit->size(), 1u);
    EXPECT_EQ((*unit)[0].steps.size(), 3u);
    EXPECT_EQ((*unit)[0].steps[0].name, QStringLiteral("CH0 \"{a\\b}, NULL é"));
    EXPECT_EQ((*unit)[0].steps[0].measurement->mean, 25.0);
    const auto stats = shared->ComputeStats(&error);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->days[0].units, 2);
    EXPECT_EQ(stats->days[0].firstPass, 1);
    ASSERT_EQ(stats->failures.size(), 1u);
    EXPECT_EQ(stats->failures[0].step, QStringLiteral("CH2 \"{a\\b}, NULL é"));
    EXPECT_EQ(stats->measurements[0].count, 2);
}

TEST_F(SharedRecords, AServerThatHangsHoldsNeitherTheTestNorItsRecord) {
    QTemporaryDir dir;
    QFile plan(dir.filePath(QStringLiteral("wait.toml")));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write("name = \"w\"\nrevision = 1\n[[step]]\nkind = \"wait\"\nms = 10\n");
    plan.close();
    const QString records = dir.filePath(QStringLiteral("r.sqlite"));
    ASSERT_TRUE(rig_->Pause(true));
    QElapsedTimer clock;
    clock.start();
    QProcess test;
    test.start(QStringLiteral(VR7C_PATH),
               {"test", "--plan", plan.fileName(), "--port", "/dev/null", "--serial", "H-1",
                "--records", records, "--records", rig_->address()});
    const bool ended = test.waitForFinished(60000);
    const qint64 took = clock.elapsed();
    ASSERT_TRUE(rig_->Pause(false));
    ASSERT_TRUE(ended);
    EXPECT_EQ(test.exitCode(), 0);
    EXPECT_LT(took, 40000);
    EXPECT_TRUE(test.readAllStandardError().contains("1 runs stay queued"));
    QProcess sync;
    sync.start(QStringLiteral(VR7C_PATH),
               {"records", "sync", "--records", records, "--records", rig_->address()});
    ASSERT_TRUE(sync.waitForFinished(60000));
    EXPECT_EQ(sync.exitCode(), 0) << sync.readAllStandardError().toStdString();
    EXPECT_EQ(Count("runs"), QStringLiteral("1"));
}

TEST_F(SharedRecords, ThePasswordComesFromPgpassfileAndOptionsReachLibpq) {
    const QString password = QUuid::createUuid().toString(QUuid::Id128);
    const int port = rig_->AddPasswordUser(QStringLiteral("line"), password);
    ASSERT_GT(port, 0);
    QTemporaryDir dir;
    QFile pgpass(dir.filePath(QStringLiteral("pgpass")));
    ASSERT_TRUE(pgpass.open(QIODevice::WriteOnly));
    pgpass.write(QStringLiteral("127.0.0.1:%1:vr7c:line:%2\n").arg(port).arg(password).toUtf8());
    pgpass.close();
    pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);  // libpq ignores it otherwise
    const struct {
        const char* options;
        bool passwordFile;
        const char* refusal;  // empty: the store opens
    } cases[] = {
        {"sslmode=disable", true, ""},
        {"sslmode=require", true, "SSL"},  // the server offers none: the option reached libpq
        {"sslmode=disable", false, "password"},
    };
    QString error;
    auto bench = RecordStore::OpenLocal(dir.filePath(QStringLiteral("r.sqlite")), &error);
    ASSERT_TRUE(bench) << error.toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        qputenv("PGPASSFILE",
                (c.passwordFile ? pgpass.fileName() : dir.filePath(QStringLiteral("none")))
                    .toLocal8Bit());
        error.clear();
        auto shared = RecordStore::OpenShared(
            *ParseSharedAddress(QStringLiteral("postgresql://line@127.0.0.1:%1/vr7c?%2")
                                    .arg(port)
                                    .arg(QLatin1String(c.options)),
                                &error),
            5, &error);
        EXPECT_EQ(shared == nullptr, *c.refusal != 0) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.refusal))) << error.toStdString();
        EXPECT_FALSE(error.contains(password));
        if (shared) {
            RunOnBench(*bench, QStringLiteral("PW-1"), [] {});
            EXPECT_EQ(bench->SyncTo(*shared, &error), 1) << error.toStdString();
        }
    }
    qunsetenv("PGPASSFILE");
    EXPECT_FALSE(rig_->ServerLog().contains(password.toUtf8()));
}

// The shared store stays at the first schema, so that benches still on an older vr7c keep
// sending to it; a newer one is refused.
TEST_F(SharedRecords, TheSharedSchemaStaysWhereOlderBenchesCanUseIt) {
    QString error;
    ASSERT_TRUE(Shared());
    EXPECT_EQ(rig_->Psql(QStringLiteral("SELECT version FROM schema_version")),
              QStringLiteral("1"));
    rig_->Psql(QStringLiteral("UPDATE schema_version SET version = 99"));
    EXPECT_FALSE(RecordStore::OpenShared(*ParseSharedAddress(rig_->address(), &error), 5, &error));
    EXPECT_TRUE(error.contains(QLatin1String("newer vr7c"))) << error.toStdString();
}

}  // namespace
