// Runs on record in a SQLite file: as they happen, across processes, and when the disk is
// against it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FakeUnit.h"
#include "Plan.h"
#include "RecordStore.h"
#include "RunRecorder.h"

namespace {

Plan TestPlan() {
    PlanError error;
    return *ParsePlan(
        "name = \"出厂测试 TC-K\"\nrevision = \"3\"\n"
        "[[step]]\nkind = \"measure\"\nname = \"10mV\"\nquantity = \"channel.acquired\"\n"
        "channels = \"0-1\"\nsamples = 2\nlow = 9.98\nhigh = 10.02\nunit = \"mV\"\n"
        "[[step]]\nkind = \"wait\"\nms = 10\n",
        {}, &error);
}

// One run of the plan on a fake unit reading `value` on every channel, put on record.
RunRecord RecordedRun(RecordStore& store, const QString& serial, std::int32_t value,
                      const std::function<void()>& midway = {}) {
    const Plan plan = TestPlan();
    QString error;
    RunRecord run = *NewRun(plan, &error);
    run.serial = serial;
    EXPECT_TRUE(store.BeginRun(run, &error)) << error.toStdString();
    FakeUnit unit;
    for (int k = 0; k < 6; ++k) {
        unit.SetAcquired(k, value);
    }
    RunRecorder recorder(store, [&](const RunRecord&, const StepRecord& step) {
        if (step.seq == 1 && midway) {
            midway();
        }
    });
    Runner(plan, unit, recorder).Run(run);
    EXPECT_TRUE(store.FinishRun(run, &error)) << error.toStdString();
    return run;
}

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

pid_t Child(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    return pid;
}

int ExitOf(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Records, ARunIsKeptWholeAndCountsInTheStatistics) {
    QTemporaryDir dir;
    QString error;
    auto store = RecordStore::OpenLocal(dir.filePath(QStringLiteral("r.sqlite")), &error);
    ASSERT_TRUE(store) << error.toStdString();
    const QString serial = QStringLiteral("SN-'\";DROP TABLE runs;--");
    const RunRecord good = RecordedRun(*store, serial, 1000100);
    RecordedRun(*store, serial, 1000300);                  // the same unit again: not a first pass
    RecordedRun(*store, QStringLiteral("SN-2"), 1005000);  // fails
    const auto back = store->Load(good.uuid, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->serial, serial);
    EXPECT_EQ(back->result, Verdict::Pass);
    ASSERT_EQ(back->steps.size(), 3u);
    EXPECT_EQ(back->steps[1].name, QStringLiteral("CH1 10mV"));
    EXPECT_EQ(back->steps[1].measurement->samples, (std::vector<double>{10.001, 10.001}));
    EXPECT_EQ(store->UnitRuns(serial, &error)->size(), 2u);
    const auto stats = store->ComputeStats(&error);
    ASSERT_TRUE(stats);
    ASSERT_EQ(stats->days.size(), 1u);
    EXPECT_EQ(stats->days[0].units, 2);
    EXPECT_EQ(stats->days[0].firstPass, 1);
    ASSERT_EQ(stats->failures.size(), 1u);  // CH0 of SN-2; its CH1 was skipped
    ASSERT_EQ(stats->measurements.size(), 2u);
    const MeasurementStats& ch0 = stats->measurements[0];
    EXPECT_EQ(ch0.count, 3);
    EXPECT_NEAR(ch0.mean, (10.001 + 10.003 + 10.05) / 3, 1e-9);
    EXPECT_NEAR(ch0.deviation, 0.0277308, 1e-6);
    EXPECT_NEAR(*ch0.cpk, (10.02 - ch0.mean) / (3 * ch0.deviation), 1e-9);
}

// A bench's file at an older schema is brought up to date with the runs it holds; a newer one is
// left alone.
TEST(Records, AnOlderFileIsUpgradedAndItsRunsKept) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.sqlite"));
    QString error;
    RecordedRun(*RecordStore::OpenLocal(path, &error), QStringLiteral("OLD-1"), 1000100);
    const struct {
        const char* version;
        int after;  // the version once opened again; 0: refused
    } cases[] = {{"1", 2}, {"99", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        int version = 0;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            // The first schema: the queue's index on the flag alone.
            for (const QString& sql :
                 {QStringLiteral("DROP INDEX IF EXISTS runs_queue"),
                  QStringLiteral("CREATE INDEX runs_queued ON runs (synced) WHERE synced = 0"),
                  QStringLiteral("UPDATE schema_version SET version = %1")
                      .arg(QLatin1String(c.version))}) {
                ASSERT_TRUE(q.exec(sql));
            }
            auto store = RecordStore::OpenLocal(path, &error);
            EXPECT_EQ(store != nullptr, c.after != 0) << error.toStdString();
            if (store) {
                EXPECT_EQ(store->UnitRuns(QStringLiteral("OLD-1"), &error)->size(), 1u);
            } else {
                EXPECT_TRUE(error.contains(QLatin1String("newer vr7c"))) << error.toStdString();
            }
            ASSERT_TRUE(q.exec(QStringLiteral("SELECT version FROM schema_version")) && q.next());
            version = q.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old"));
        EXPECT_EQ(version, c.after ? c.after : std::atoi(c.version));
    }
}

TEST(Records, ARunWhoseProgramWasKilledIsAbortedAtTheNextStart) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r.sqlite"));
    const pid_t child = Child([&] {
        QString error;
        auto store = RecordStore::OpenLocal(file, &error);
        RecordedRun(*store, QStringLiteral("SN-1"), 1000000, [] { ::raise(SIGKILL); });
    });
    ASSERT_EQ(ExitOf(child), 128 + SIGKILL);
    QString error;
    auto store = RecordStore::OpenLocal(file, &error);
    ASSERT_TRUE(store) << error.toStdString();
    EXPECT_EQ(store->abandoned(), 1);
    const auto runs = store->UnitRuns(QStringLiteral("SN-1"), &error);
    ASSERT_EQ(runs->size(), 1u);
    EXPECT_EQ((*runs)[0].result, Verdict::Aborted);
    EXPECT_EQ((*runs)[0].steps.size(), 1u);  // the step committed before the kill
    EXPECT_EQ(store->ComputeStats(&error)->days[0].firstPass, 0);
    // A run of a process that is still alive is left alone.
    RunRecord live = *NewRun(TestPlan(), &error);
    ASSERT_TRUE(store->BeginRun(live, &error));
    EXPECT_EQ(RecordStore::OpenLocal(file, &error)->abandoned(), 0);
}

TEST(Records, TwoProcessesWritingOneFileLoseAndDoubleNothing) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r.sqlite"));
    QString error;
    ASSERT_TRUE(RecordStore::OpenLocal(file, &error));
    constexpr int kRuns = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        children.push_back(Child([&, p] {
            QString e;
            auto store = RecordStore::OpenLocal(file, &e);
            for (int i = 0; i < kRuns; ++i) {
                if (!store ||
                    RecordedRun(*store, QStringLiteral("P%1-%2").arg(p).arg(i), 1000000).result !=
                        Verdict::Pass) {
                    ::_exit(1);
                }
            }
        }));
    }
    for (pid_t c : children) {
        EXPECT_EQ(ExitOf(c), 0);
    }
    auto store = RecordStore::OpenLocal(file, &error);
    const auto runs = store->List({}, &error);
    ASSERT_EQ(runs->size(), 2u * kRuns);
    for (const RunRecord& r : *runs) {
        EXPECT_EQ(store->Load(r.uuid, &error)->steps.size(), 3u);
    }
    EXPECT_EQ(store->ComputeStats(&error)->days[0].units, 2 * kRuns);
}

// A small file system of its own for the disk's faults; needs the right to mount.
class SmallDisk {
public:
    explicit SmallDisk(const QString& size) {
        path_ = dir_.filePath(QStringLiteral("disk"));
        QDir().mkpath(path_);
        const QByteArray options = "size=" + size.toLatin1();
        mounted_ =
            ::mount("tmpfs", path_.toLocal8Bit().constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    bool ReadOnly() {
        return ::mount(nullptr, path_.toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }
    QString File(const char* name) const { return path_ + QLatin1Char('/') + QLatin1String(name); }

private:
    QTemporaryDir dir_;
    QString path_;
    bool mounted_ = false;
};

TEST(Records, AReadOnlyFileOrAFullDiskStopsTheTestBeforeItStarts) {
    {
        SmallDisk disk(QStringLiteral("4m"));
        if (!disk.mounted()) {
            GTEST_SKIP() << "cannot mount a small tmpfs here (needs root or CAP_SYS_ADMIN)";
        }
        QString error;
        ASSERT_TRUE(RecordStore::OpenLocal(disk.File("r.sqlite"), &error));
        ASSERT_TRUE(disk.ReadOnly());
        EXPECT_FALSE(RecordStore::OpenLocal(disk.File("r.sqlite"), &error));
        EXPECT_TRUE(error.contains(QStringLiteral("read-only"))) << error.toStdString();
    }
    SmallDisk disk(QStringLiteral("2m"));
    QFile filler(disk.File("filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(64 * 1024, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    QString error;
    EXPECT_FALSE(RecordStore::OpenLocal(disk.File("r.sqlite"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("the disk is full"))) << error.toStdString();
}

TEST(Records, SerialNumbersArePrintableTextUpToSixtyFourCharacters) {
    const struct {
        QString serial;
        bool taken;
    } cases[] = {
        {QStringLiteral("VR7C-2026-000123"), true},
        {QStringLiteral("'\";--"), true},
        {QStringLiteral("序列号 7"), true},
        {QString(64, QLatin1Char('9')), true},
        {QString(65, QLatin1Char('9')), false},
        {QString(10000, QLatin1Char('A')), false},
        {QString(), false},
        {QStringLiteral("   "), false},
        {QStringLiteral("SN\r"), false},
        {QStringLiteral("SN\x1b[2J"), false},
        {QStringLiteral("a\u2028b"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SerialNumberProblem(c.serial).isEmpty(), c.taken) << c.serial.toStdString();
    }
}

TEST(Records, TheCommandLineRefusesBadPlansAndSerialNumbers) {
    QTemporaryDir dir;
    QFile plan(dir.filePath(QStringLiteral("p.toml")));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write("name = \"p\"\nrevision = 1\n[[step]]\nkind = \"wait\"\nms = -1\n");
    plan.close();
    QFile profilePlan(dir.filePath(QStringLiteral("q.toml")));
    ASSERT_TRUE(profilePlan.open(QIODevice::WriteOnly));
    profilePlan.write(
        "name = \"p\"\nrevision = 1\n\n[[step]]\nkind = \"config\"\n"
        "profile = \"bad.json\"\n");
    profilePlan.close();
    QFile badProfile(dir.filePath(QStringLiteral("bad.json")));
    ASSERT_TRUE(badProfile.open(QIODevice::WriteOnly));
    badProfile.write(R"({"settings":{"station_number":{"value":100}}})");
    badProfile.close();
    WriteFile(dir.filePath(QStringLiteral("w.toml")),
              "name = \"w\"\nrevision = 1\n[[step]]\nkind = \"wait\"\nms = 1\n");
    const QString records = dir.filePath(QStringLiteral("r.sqlite"));
    const QStringList test = {"test",   "--plan",    dir.filePath(QStringLiteral("w.toml")),
                              "--port", "/dev/null", "--serial",
                              "S-1",    "--records", records};
    const QStringList sync = {"records", "sync", "--records", records};
    // The shared store's address also comes from the settings file and the environment.
    const struct {
        QStringList args;
        int code;
        const char* says;
        const char* settings = "";
        const char* variable = "";
    } cases[] = {
        {{"plan", "check", plan.fileName()}, 9, ":5:6: 'ms' must be 0 to 3600000"},
        {{"plan", "check", profilePlan.fileName()}, 9, "q.toml:4:1: "},
        {{"records", "list", "--serial", QStringLiteral("a\nb")}, 2, "not printable"},
        {{"records", "list", "--serial", QString(65, QLatin1Char('x'))}, 2, "longer than 64"},
        {{"records", "sync", "--records", "postgresql://u:secret@h/db"}, 2, "holds a password"},
        {test, 2, "vr7c.ini: [records] shared: the address holds a password",
         "postgresql://u:secret@h/db"},
        {sync, 2, "VR7C_RECORDS_SHARED: the address holds a password", "",
         "postgresql://u@h/db?sslpassword=secret"},
    };
    for (const auto& c : cases) {
        QTemporaryDir config;
        QDir(config.path()).mkpath(QStringLiteral("vr7c"));
        WriteFile(config.filePath(QStringLiteral("vr7c/vr7c.ini")),
                  QByteArray("[records]\nshared=\"") + c.settings + "\"\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("VR7C_RECORDS_SHARED"), QString::fromUtf8(c.variable));
        QProcess vr7c;
        vr7c.setProcessEnvironment(environment);
        vr7c.start(QStringLiteral(VR7C_PATH), c.args);
        ASSERT_TRUE(vr7c.waitForFinished(30000));
        const QString err = QString::fromUtf8(vr7c.readAllStandardError());
        EXPECT_EQ(vr7c.exitCode(), c.code) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.says))) << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("secret")));
    }
}

TEST(Records, TheCommandLineListsExportsAndCountsTheRuns) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r.sqlite"));
    QString error;
    auto store = RecordStore::OpenLocal(file, &error);
    RecordedRun(*store, QStringLiteral("SN-1"), 1000100);
    RecordedRun(*store, QStringLiteral("=HYPERLINK(\"x\")"), -1005000);  // fails
    RecordedRun(*store, QStringLiteral("+SN-3"), 1000200);
    auto vr7c = [&](QStringList args) {
        QProcess p;
        p.start(QStringLiteral(VR7C_PATH),
                QStringList{"records"} + args + QStringList{"--records", file, "--json"});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    };
    const std::pair<QStringList, int> lists[] = {
        {{"list"}, 3},
        {{"list", "--serial", "SN-1"}, 1},
        {{"list", "--since", "2000-01-01"}, 3},
        {{"list", "--since", "2999-01-01"}, 0},
        {{"list", "--result", "FAIL"}, 1},
        {{"list", "--plan", "出厂测试 TC-K"}, 3},
        {{"list", "--plan", "other"}, 0},
    };
    for (const auto& [args, runs] : lists) {
        EXPECT_EQ(vr7c(args)["runs"].toArray().size(), runs) << args.join(' ').toStdString();
    }
    vr7c({"export", "--csv", dir.filePath(QStringLiteral("m.csv"))});
    QFile csv(dir.filePath(QStringLiteral("m.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1 + 5);  // CH0 and CH1 of each run but the failed one's CH1
    // Text that a spreadsheet would run is kept as text; numbers stay as they are.
    EXPECT_TRUE(rows[3].contains(QStringLiteral(",\"'=HYPERLINK(\"\"x\"\")\",")))
        << rows[3].toStdString();
    EXPECT_TRUE(rows[3].contains(QStringLiteral(",-10.05,"))) << rows[3].toStdString();
    EXPECT_TRUE(rows[4].contains(QStringLiteral(",'+SN-3,"))) << rows[4].toStdString();
    const QJsonObject stats = vr7c({"stats"});
    EXPECT_EQ(stats["days"][0]["first_pass"].toInt(), 2);
    EXPECT_EQ(stats["failures"][0]["step"].toString(), QStringLiteral("CH0 10mV"));
    EXPECT_EQ(stats["measurements"][0]["count"].toInt(), 3);
}

TEST(Records, ARunRecordsTheHashOfThePlanItRanAndOfTheProfileAsItStarts) {
    QTemporaryDir dir;
    const QString planFile = dir.filePath(QStringLiteral("p.toml"));
    WriteFile(planFile,
              "name = \"p\"\nrevision = 1\n[[step]]\nkind = \"config\"\nprofile = \"c.json\"\n");
    WriteFile(dir.filePath(QStringLiteral("c.json")), "{}");
    PlanError planError;
    const Plan plan = *ReadPlanFile(planFile, &planError);
    QString error;
    const RunRecord first = *NewRun(plan, &error);
    WriteFile(dir.filePath(QStringLiteral("c.json")), R"({"name": "changed"})");
    WriteFile(planFile, "# changed while the test runs\n");
    const RunRecord second = *NewRun(plan, &error);
    EXPECT_EQ(second.planSha256, first.planSha256);
    EXPECT_EQ(first.planSha256.size(), 64);
    EXPECT_NE(second.fileHashes, first.fileHashes);
}

}  // namespace
