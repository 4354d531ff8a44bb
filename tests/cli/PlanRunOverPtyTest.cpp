// vr7c test running the example plan on simulated good and bad units, then finding the run by
// the unit's serial number.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "SimRunner.h"
#include "Stm32Bootloader.h"

namespace {

const QString kExamples = QStringLiteral(VR7C_EXAMPLES);

struct Unit {
    std::vector<std::pair<int, vr7c::sim::ChannelInput>> inputs;
    std::unique_ptr<vr7c::sim::SimRunner> runner;

    // Every channel fed 10 mV unless told otherwise.
    explicit Unit(std::vector<std::pair<int, vr7c::sim::ChannelInput>> changed = {}) {
        vr7c::sim::SimOptions options;
        for (int c = 0; c < 6; ++c) {
            options.inputs.emplace_back(c, vr7c::sim::ChannelInput{10.0, 0.0005});
        }
        options.inputs.insert(options.inputs.end(), changed.begin(), changed.end());
        options.baud = 19200;  // vr7c's default rate
        options.bootloaderFactory = [] { return std::make_unique<vr7c::sim::Stm32Bootloader>(); };
        runner = std::make_unique<vr7c::sim::SimRunner>(options);
        std::string error;
        EXPECT_TRUE(runner->start(&error)) << error;
    }
    QString port() const { return QString::fromStdString(runner->path()); }
};

struct Finished {
    int code = -1;
    QString out;
    QString err;
};

Finished Vr7c(const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(QStringLiteral(VR7C_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

TEST(PlanRun, AGoodUnitPassesTheExamplePlanAndIsFoundByItsSerialNumber) {
    QTemporaryDir dir;
    const QString records = dir.filePath(QStringLiteral("r.sqlite"));
    Unit unit;
    const Finished run = Vr7c({"test", "--plan", kExamples + "/tc-k-factory.toml", "--port",
                               unit.port(), "--records", records, "--reset-pause", "0"},
                              "VR7C-0001\n");
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("CH5 10mV  PASS"))) << run.out.toStdString();
    const Finished shown = Vr7c({"records", "show", "VR7C-0001", "--records", records, "--json"});
    ASSERT_EQ(shown.code, 0) << shown.err.toStdString();
    const QJsonObject first =
        QJsonDocument::fromJson(shown.out.toUtf8()).object()["runs"].toArray()[0].toObject();
    EXPECT_EQ(first["result"].toString(), QStringLiteral("PASS"));
    EXPECT_EQ(first["chip_id"].toString().size(), 24);  // 96 bits in hex
    EXPECT_EQ(first["steps"].toArray().size(), 14);     // 13 steps and the expectations
}

// The example plan without its flash step, which the good unit's run has covered.
QString PlanWithoutFlash(const QTemporaryDir& dir) {
    QFile example(kExamples + "/tc-k-factory.toml");
    EXPECT_TRUE(example.open(QIODevice::ReadOnly));
    QByteArray text = example.readAll();
    text.replace("kind = \"flash\"", "kind = \"wait\"\nms = 1");
    QFile::copy(kExamples + "/tc-k.json", dir.filePath(QStringLiteral("tc-k.json")));
    QFile plan(dir.filePath(QStringLiteral("plan.toml")));
    EXPECT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(text);
    return plan.fileName();
}

TEST(PlanRun, BadUnitsFailAtTheStepThatFindsThem) {
    QTemporaryDir dir;
    const QString plan = PlanWithoutFlash(dir);
    using vr7c::sim::ChannelInput;
    const struct {
        std::pair<int, ChannelInput> fault;
        const char* failing;
    } cases[] = {
        {{3, ChannelInput{std::nullopt, 0, true}}, "CH3 10mV  FAIL"},
        {{2, ChannelInput{10.0, 0.01}}, "CH2 10mV  FAIL"},  // noisy: spread above 0.005
        {{1, ChannelInput{10.03, 0}}, "CH1 10mV  FAIL"},
        {{0, ChannelInput{10.0, 0, false, true}}, "output follows set point  FAIL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        Unit unit({c.fault});
        const Finished run = Vr7c({"test", "--plan", plan, "--port", unit.port(), "--records",
                                   dir.filePath(QStringLiteral("r.sqlite")), "--serial", "BAD-1"});
        EXPECT_EQ(run.code, 12) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromUtf8(c.failing))) << run.out.toStdString();
    }
}

TEST(PlanRun, JsonOfAFailedOrBrokenUnitHoldsItsSteps) {
    QTemporaryDir dir;
    const QString plan = PlanWithoutFlash(dir);
    const Unit dead({{3, vr7c::sim::ChannelInput{std::nullopt, 0, true}}});
    const struct {
        QString port;
        int code;
        const char* result;
    } cases[] = {{dead.port(), 12, "FAIL"}, {QStringLiteral("/dev/vr7c-no-such-port"), 3, "ERROR"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        const Finished run =
            Vr7c({"test", "--plan", plan, "--port", c.port, "--records",
                  dir.filePath(QStringLiteral("r.sqlite")), "--serial", "BAD-2", "--json"});
        EXPECT_EQ(run.code, c.code);
        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        EXPECT_EQ(document["exit_code"].toInt(), c.code) << run.out.toStdString();
        EXPECT_EQ(document["result"].toString(), QLatin1String(c.result));
        const QJsonArray steps = document["steps"].toArray();
        ASSERT_FALSE(steps.isEmpty()) << run.out.toStdString();
        QJsonObject failing;
        for (const QJsonValue step : steps) {
            if (step["result"].toString() == QLatin1String(c.result)) {
                failing = step.toObject();
                break;
            }
        }
        ASSERT_FALSE(failing.isEmpty()) << run.out.toStdString();
        EXPECT_EQ(failing.contains("measurement"), c.code == 12);
    }
}

TEST(PlanRun, RepeatEndsWithItsInputAndRefusesAnOverlongLineWhole) {
    QTemporaryDir dir;
    const QString records = dir.filePath(QStringLiteral("r.sqlite"));
    // No module on the port: each unit is an ERROR at once, and none stays to be removed.
    const Finished run =
        Vr7c({"test", "--plan", PlanWithoutFlash(dir), "--port", "/dev/vr7c-no-such-port",
              "--records", records, "--repeat", "--json"},
             "SN-1\n" + QByteArray(4095, 'A') + "SPLIT-1\nSN-2");
    EXPECT_EQ(run.code, 3) << run.err.toStdString();
    const QJsonObject summary =
        QJsonDocument::fromJson(run.out.trimmed().split('\n').last().toUtf8()).object();
    EXPECT_EQ(summary["units"].toInt(), 3) << run.out.toStdString();
    const Finished listed = Vr7c({"records", "list", "--records", records});
    EXPECT_EQ(listed.out.count('\n'), 2) << listed.out.toStdString();
    EXPECT_FALSE(listed.out.contains(QStringLiteral("SPLIT"))) << listed.out.toStdString();
}

TEST(PlanRun, AConfigStepThatMovesTheModuleIsFollowedToItsNewStationAndRate) {
    QTemporaryDir dir;
    QFile profile(dir.filePath(QStringLiteral("move.json")));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    profile.write(R"({"settings": {"station_number": {"value": 9},
                                  "rs485_baud_rate": {"meaning": "57600"}}})");
    profile.close();
    QFile plan(dir.filePath(QStringLiteral("move.toml")));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(R"(name = "move"
revision = "1"
[[step]]
kind = "config"
profile = "move.json"
[[step]]
kind = "measure"
name = "station"
quantity = "register.90"
low = 9
high = 9
)");
    plan.close();
    Unit unit;
    const Finished run =
        Vr7c({"test", "--plan", plan.fileName(), "--port", unit.port(), "--records",
              dir.filePath(QStringLiteral("r.sqlite")), "--serial", "MOVE-1"});
    EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("2 station  PASS"))) << run.out.toStdString();
}

}  // namespace
