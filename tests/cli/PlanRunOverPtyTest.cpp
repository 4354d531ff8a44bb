// vr7c test running the example plan on simulated good and bad units, then finding the run by
// the unit's serial number.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "SimOnPty.h"

namespace {

const QString kExamples = QStringLiteral(VR7C_EXAMPLES);

// Every channel fed 10 mV unless told otherwise.
vr7c::sim::SimOptions UnitOptions(
    const std::vector<std::pair<int, vr7c::sim::ChannelInput>>& changed) {
    vr7c::sim::SimOptions options;
    for (int c = 0; c < 6; ++c) {
        options.inputs.emplace_back(c, vr7c::sim::ChannelInput{10.0, 0.0005});
    }
    options.inputs.insert(options.inputs.end(), changed.begin(), changed.end());
    options.baud = 19200;  // vr7c's default rate
    return SimOnPty::WithBootloader(options);
}

struct Unit : SimOnPty {
    explicit Unit(const std::vector<std::pair<int, vr7c::sim::ChannelInput>>& changed = {})
        : SimOnPty(UnitOptions(changed)) {}
    explicit Unit(const vr7c::sim::SimOptions& options) : SimOnPty(options) {}
    QString port() const { return QString::fromStdString(path()); }
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

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// A plan whose profile moves the unit to station 9 at 57600 baud, where it reads its station.
QString WriteMovingPlan(const QTemporaryDir& dir, const char* expect, const char* more) {
    WriteFile(dir.filePath(QStringLiteral("move.json")),
              R"({"settings": {"station_number": {"value": 9},
                               "rs485_baud_rate": {"meaning": "57600"}}})");
    const QString plan = dir.filePath(QStringLiteral("p.toml"));
    WriteFile(plan, QByteArray("name = \"p\"\nrevision = \"1\"\n") + expect +
                        "[[step]]\nkind = \"config\"\nprofile = \"move.json\"\n[[step]]\n"
                        "kind = \"measure\"\nquantity = \"register.90\"\nlow = 9\nhigh = 9\n" +
                        more);
    return plan;
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

TEST(PlanRun, BadUnitsFailAtTheStepThatFindsThem) {
    QTemporaryDir dir;
    // The example plan without its flash step, which the good unit's run has covered.
    QFile example(kExamples + "/tc-k-factory.toml");
    ASSERT_TRUE(example.open(QIODevice::ReadOnly));
    QByteArray text = example.readAll();
    text.replace("kind = \"flash\"", "kind = \"wait\"\nms = 1");
    QFile::copy(kExamples + "/tc-k.json", dir.filePath(QStringLiteral("tc-k.json")));
    QFile plan(dir.filePath(QStringLiteral("plan.toml")));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(text);
    plan.close();
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
        const Finished run =
            Vr7c({"test", "--plan", plan.fileName(), "--port", unit.port(), "--records",
                  dir.filePath(QStringLiteral("r.sqlite")), "--serial", "BAD-1"});
        EXPECT_EQ(run.code, 12) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromUtf8(c.failing))) << run.out.toStdString();
    }
}

TEST(PlanRun, AMovedModuleIsFollowedAndAFailedOrBrokenUnitsJsonHoldsItsSteps) {
    QTemporaryDir dir;
    const QString plan = WriteMovingPlan(
        dir, "", "[[step]]\nkind = \"measure\"\nquantity = \"register.11\"\nlow = 0\nhigh = 1\n");
    Unit unit;
    const std::tuple<QString, int, QStringList> cases[] = {
        {unit.port(), 12, {"PASS", "PASS", "FAIL"}},
        {QStringLiteral("/dev/vr7c-no-such-port"), 3, {"ERROR", "SKIPPED", "SKIPPED"}}};
    for (const auto& [port, code, results] : cases) {
        const Finished run =
            Vr7c({"test", "--plan", plan, "--port", port, "--records",
                  dir.filePath(QStringLiteral("r.sqlite")), "--serial", "S-1", "--json"});
        EXPECT_EQ(run.code, code) << run.err.toStdString();
        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QStringList seen;
        for (const QJsonValue step : document["steps"].toArray()) {
            seen << step["result"].toString();
        }
        EXPECT_EQ(seen, results) << run.out.toStdString();
        EXPECT_EQ(document["steps"][2]["measurement"].isObject(), code == 12);
    }
}

TEST(PlanRun, RepeatEndsWithItsInputAndRefusesAnOverlongLineWhole) {
    QTemporaryDir dir;
    const QString plan = dir.filePath(QStringLiteral("w.toml"));
    WriteFile(plan, "name = \"w\"\nrevision = \"1\"\n[[step]]\nkind = \"wait\"\nms = 1\n");
    const QString records = dir.filePath(QStringLiteral("r.sqlite"));
    const Finished run = Vr7c({"test", "--plan", plan, "--port", "/dev/vr7c-no-such-port",
                               "--records", records, "--repeat"},
                              "SN-1\n" + QByteArray(4095, 'A') + "SPLIT-1\nSN-2");
    EXPECT_EQ(run.code, 2);  // the refused line's
    EXPECT_TRUE(run.err.contains(QStringLiteral("3 unit(s), 1 failed"))) << run.err.toStdString();
    EXPECT_EQ(Vr7c({"records", "list", "--records", records}).out.count('\n'), 2);
}

TEST(PlanRun, AUnitMovedByItsProfileIsFollowedAndTheNextStartsAtThePlansAddress) {
    QTemporaryDir dir;
    const QString plan = WriteMovingPlan(dir, "[expect]\nstation = 5\nrate = 19200\n", "");
    // Each unit arrives at the plan's station on the fixture's port, a link to its terminal.
    const std::string slot = dir.filePath(QStringLiteral("slot")).toStdString();
    auto arrive = [&] {
        vr7c::sim::SimOptions options = UnitOptions({});
        options.station = 5;
        options.link = slot;
        return std::make_unique<Unit>(options);
    };
    auto unit = arrive();
    QProcess test;
    test.setProcessChannelMode(QProcess::MergedChannels);
    test.start(QStringLiteral(VR7C_PATH),
               {"test", "--plan", plan, "--port", QString::fromStdString(slot), "--records",
                dir.filePath(QStringLiteral("r.sqlite")), "--repeat", "--count", "2"});
    test.write("M-1\nM-2\n");
    test.closeWriteChannel();
    QByteArray out;
    while (!out.contains("remove the unit") && test.waitForReadyRead(60000)) {
        out += test.readAll();
    }
    unit = arrive();  // the next unit, in the place of the first
    ASSERT_TRUE(test.waitForFinished(120000));
    out += test.readAll();
    EXPECT_EQ(test.exitCode(), 0) << out.toStdString();
    EXPECT_EQ(out.count("register.90  PASS"), 2) << out.toStdString();
}

}  // namespace
