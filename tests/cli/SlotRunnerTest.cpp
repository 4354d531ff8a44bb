#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Output.h"
#include "SlotRunner.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// A unit that gives `code` on its port, seen, with the port in its log line.
UnitResult Unit(const PortChoice& port, int code) {
    UnitResult unit;
    unit.seen = true;
    unit.outcome = code == 0 ? Outcome::Ok() : Outcome::Fail(code, QStringLiteral("failed"));
    unit.line = QStringLiteral("done");
    unit.record = {{"device_id", port.given}};
    unit.logFields = {port.given, QStringLiteral("x")};
    return unit;
}

QStringList Lines(const QString& text) {
    return text.split('\n', Qt::SkipEmptyParts);
}

struct SlotsRun {
    int code;
    QStringList out;
    QString err;
};

SlotsRun RunCaptured(const QStringList& ports, const SlotJob& job, bool json) {
    CaptureStdout();
    CaptureStderr();
    const int code = RunSlots(ports, job, Output(json));
    SlotsRun run{code, {}, {}};
    run.out = Lines(QString::fromStdString(GetCapturedStdout()));
    run.err = QString::fromStdString(GetCapturedStderr());
    return run;
}

TEST(SlotRunner, EachSlotReportsAndLogsItsUnitsAndTheWorstCodeWins) {
    QTemporaryDir dir;
    SlotJob job;
    job.log = dir.filePath(QStringLiteral("units.csv"));
    job.logHeader = QStringLiteral("time,port,device,result");
    job.unit = [](const PortChoice& port, const Output&) {
        return Unit(port, port.given == QLatin1String("COM6") ? 7 : 0);
    };
    const SlotsRun run = RunCaptured({"COM5", "COM6", "COM7"}, job, true);
    EXPECT_EQ(run.code, 7);
    ASSERT_EQ(run.out.size(), 4);  // one document per unit, then the summary
    int failed = 0;
    for (int i = 0; i < 3; ++i) {
        const QJsonObject unit = QJsonDocument::fromJson(run.out[i].toUtf8()).object();
        EXPECT_EQ(unit.value("port").toString(), unit.value("device_id").toString());
        failed += unit.value("ok").toBool() ? 0 : 1;
    }
    EXPECT_EQ(failed, 1);
    const QJsonObject summary = QJsonDocument::fromJson(run.out[3].toUtf8()).object();
    EXPECT_TRUE(summary.value("summary").toBool());
    EXPECT_EQ(summary.value("exit_code").toInt(), 7);
    EXPECT_EQ(summary.value("units").toInt(), 3);
    EXPECT_TRUE(run.err.contains(QStringLiteral("vr7c: COM6: failed"))) << run.err.toStdString();

    QFile log(job.log);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = Lines(QString::fromUtf8(log.readAll()));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], job.logHeader);
    for (int i = 1; i < 4; ++i) {
        const QStringList fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 4);
        EXPECT_EQ(fields[1], fields[2]);  // the port column names the slot the unit was on
    }
}

TEST(SlotRunner, ALogThatCannotBeWrittenStopsTheRunBeforeAnyUnit) {
    std::atomic<int> units{0};
    SlotJob job;
    job.log = QStringLiteral("/nonexistent/dir/units.csv");
    job.unit = [&](const PortChoice& port, const Output&) {
        ++units;
        return Unit(port, 0);
    };
    const SlotsRun run = RunCaptured({"COM5"}, job, false);
    EXPECT_EQ(run.code, 9);
    EXPECT_EQ(units.load(), 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("/nonexistent/dir/units.csv")));
}

TEST(SlotRunner, ALineThatCannotBeWrittenFailsAndEndsTheRun) {
    if (!QFile::exists(QStringLiteral("/dev/full"))) {
        GTEST_SKIP() << "no /dev/full";
    }
    std::atomic<int> units{0};
    SlotJob job;
    job.repeat = true;
    job.count = 5;
    job.log = QStringLiteral("/dev/full");
    job.present = [](const PortChoice&) { return false; };
    job.unit = [&](const PortChoice& port, const Output&) {
        ++units;
        return Unit(port, 0);
    };
    const SlotsRun run = RunCaptured({"COM5"}, job, false);
    EXPECT_NE(run.code, 0);
    EXPECT_EQ(units.load(), 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot append to the log")))
        << run.err.toStdString();
}

TEST(SlotRunner, ARepeatingSlotGoesOnWhileAnotherIsHeldOrGone) {
    // COM5's first unit is held until COM6 has done three; COM7's port is taken by another
    // program. A runner that made the slots wait for each other would never release COM5.
    std::mutex lock;
    std::condition_variable changed;
    int doneOnCom6 = 0;
    SlotJob job;
    job.repeat = true;
    job.count = 3;
    job.present = [](const PortChoice&) { return false; };
    job.unit = [&](const PortChoice& port, const Output&) {
        if (port.given == QLatin1String("COM7")) {
            UnitResult busy;
            busy.outcome = Outcome::Fail(4, QStringLiteral("port is in use"));
            return busy;
        }
        std::unique_lock hold(lock);
        if (port.given == QLatin1String("COM6")) {
            ++doneOnCom6;
            changed.notify_all();
        } else {
            changed.wait_for(hold, std::chrono::seconds(30), [&] { return doneOnCom6 >= 3; });
            if (doneOnCom6 < 3) {
                return Unit(port, 1);
            }
        }
        return Unit(port, 0);
    };
    const SlotsRun run = RunCaptured({"COM5", "COM6", "COM7"}, job, true);
    EXPECT_EQ(run.code, 4);
    const QJsonObject summary = QJsonDocument::fromJson(run.out.last().toUtf8()).object();
    EXPECT_EQ(summary.value("units").toInt(), 6);
    EXPECT_EQ(summary.value("failed").toInt(), 0);
}

}  // namespace
