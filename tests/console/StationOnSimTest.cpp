// Whole runs through the test station window on simulated units, one on COM1 and one on COM2,
// as an operator drives them: scans, the prompt confirmed by its foot-switch key, a unit pulled
// out, the window closed mid-run, and a slot on the port the main window polls.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "ConsoleHarness.h"
#include "RecordStore.h"
#include "SimOnPty.h"
#include "TProductionFrm.h"
#include "WaitUntil.h"

namespace {

using vr7c::sim::ChannelInput;

constexpr char kPlan[] =
    "name = \"station\"\nrevision = \"1\"\n"
    "[[step]]\nkind = \"wait\"\nms = 500\n"  // the unit's first conversions
    "[[step]]\nkind = \"measure\"\nname = \"10mV\"\nquantity = \"channel.acquired\"\n"
    "channels = \"0-1\"\nsamples = 2\nlow = 9.98\nhigh = 10.02\nunit = \"mV\"\n"
    "[[step]]\nkind = \"prompt\"\ntext = \"踩下脚踏开关\"\nkey = \"F12\"\n"
    "[[step]]\nkind = \"measure\"\nname = \"cold junction\"\nquantity = \"cold_junction\"\n"
    "samples = 2\nlow = 10\nhigh = 40\n";

// A unit on a pseudo-terminal at vr7c's rate, every channel fed 10 mV unless told otherwise.
std::unique_ptr<SimOnPty> Unit(std::optional<double> ch1) {
    vr7c::sim::SimOptions options;
    options.baud = 19200;
    options.inputs = {{0, ChannelInput{10.0}}, {1, ChannelInput{ch1}}};
    return std::make_unique<SimOnPty>(options);
}

enum class AtPrompt { FootSwitch, PullSecondUnit, CloseWindow };

struct Case {
    const char* name;
    double ch1OfSecond;  // the second unit's CH1 reading, mV
    AtPrompt action;
    bool mainWindowOnCom1;
    const char* first;  // the slots' large results, first line
    const char* second;
    const char* why;   // the second slot's result, how its second line starts
    Verdict recorded;  // the second unit's record
};

const Case kCases[] = {
    {"pass", 10.0, AtPrompt::FootSwitch, false, "合格", "合格", "", Verdict::Pass},
    {"fail", 10.05, AtPrompt::FootSwitch, false, "合格", "不合格", "CH1 10mV", Verdict::Fail},
    {"error", 10.0, AtPrompt::PullSecondUnit, false, "合格", "错误", "COM2", Verdict::Error},
    {"abort", 10.0, AtPrompt::CloseWindow, false, "中止", "中止", "", Verdict::Aborted},
    {"main window's port", 10.0, AtPrompt::FootSwitch, true, "合格", "合格", "", Verdict::Pass},
};

TEST(StationOnSim, WholeRunsEndAsTheUnitsAndTheOperatorMakeThem) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        auto first = Unit(10.0);
        auto second = Unit(c.ch1OfSecond);
        ASSERT_TRUE(first->started() && second->started());
        qputenv("VR7C_COM1", QByteArray::fromStdString(first->path()));
        qputenv("VR7C_COM2", QByteArray::fromStdString(second->path()));
        QFile plan(dir.filePath(QStringLiteral("plan.toml")));
        ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
        plan.write(kPlan);
        plan.close();

        // The main window polls COM1 (at 19200 baud, the units' rate) when the case asks.
        RealPortConsole console(dir.filePath(QStringLiteral("main.ini")));
        RecordingPrompter& prompter = console.prompter;
        TMainForm& form = console.form;
        if (c.mainWindowOnCom1) {
            form.EX_Baud->setCurrentIndex(1);
            form.SpeedButton1->click();
            ASSERT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= 2; }));
        }

        const QString records = dir.filePath(QStringLiteral("r.sqlite"));
        TProductionFrm station(dir.filePath(QStringLiteral("s.ini")), records);
        station.mainLine = &form;
        QStringList asked;
        station.ask = [&](QWidget*, const QString& text) {
            asked << text;
            return true;
        };
        ASSERT_TRUE(station.LoadPlan(plan.fileName()));
        station.SlotCount->setValue(2);
        station.show();
        QSignalSpy ended(&station, &TProductionFrm::RunEnded);
        for (const char* serial : {"SN-1", "SN-2"}) {
            station.SerialEdit->setText(QString::fromLatin1(serial));
            QTest::keyClick(station.SerialEdit, Qt::Key_Return);
        }
        if (c.mainWindowOnCom1) {
            ASSERT_EQ(asked.size(), 1);
            EXPECT_EQ(asked[0],
                      QStringLiteral("工位1 使用主窗口的端口 COM1，暂停主窗口的连接吗？"));
            EXPECT_FALSE(form.ComDriver().Connected());
        }
        ASSERT_TRUE(WaitUntil([&] { return station.ConfirmButton->isVisible(); }, 30000))
            << station.ResultLabels[0]->text().toStdString() << " / "
            << station.ResultLabels[1]->text().toStdString();
        EXPECT_EQ(station.ConfirmButton->text(), QStringLiteral("确认 (F12)"));
        // A scan while the prompt waits neither confirms it nor starts anything, and says so.
        QTest::keyClicks(station.SerialEdit, QStringLiteral("SN-3"));
        QTest::keyClick(station.SerialEdit, Qt::Key_Return);
        EXPECT_TRUE(station.ConfirmButton->isVisible());
        EXPECT_TRUE(
            station.MessageLabel->text().startsWith(QStringLiteral("测试进行中, 序列号 SN-3")));
        switch (c.action) {
            case AtPrompt::PullSecondUnit:
                second->runner().stop();
                [[fallthrough]];
            case AtPrompt::FootSwitch:
                QTest::keyClick(station.SerialEdit, Qt::Key_F12);
                break;
            case AtPrompt::CloseWindow:
                station.close();
                EXPECT_FALSE(station.isVisible());
                break;
        }
        ASSERT_TRUE(ended.wait(30000));

        EXPECT_EQ(station.ResultLabels[0]->text().section('\n', 0, 0), QString::fromUtf8(c.first));
        EXPECT_EQ(station.ResultLabels[1]->text().section('\n', 0, 0), QString::fromUtf8(c.second))
            << station.ResultLabels[1]->text().toStdString();
        // A failure names its step, an error its cause.
        const QString why = station.ResultLabels[1]->text().split('\n').value(1);
        EXPECT_EQ(why.left(QString::fromUtf8(c.why).size()).toStdString(), c.why)
            << why.toStdString();
        QString error;
        auto store = RecordStore::OpenLocal(records, &error);
        ASSERT_TRUE(store) << error.toStdString();
        const auto runs = store->UnitRuns(QStringLiteral("SN-2"), &error);
        ASSERT_TRUE(runs && runs->size() == 1) << error.toStdString();
        EXPECT_EQ(runs->front().result, c.recorded);
        EXPECT_EQ(runs->front().port, QStringLiteral("COM2"));
        if (c.mainWindowOnCom1) {
            // The main window has its port back and polls again.
            EXPECT_TRUE(form.ComDriver().Connected());
            const int polls = form.Polling().GoodPolls;
            EXPECT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls > polls; }));
            EXPECT_TRUE(prompter.messages.empty());
        }
    }
    qunsetenv("VR7C_COM1");
    qunsetenv("VR7C_COM2");
}

}  // namespace
