#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "ConsoleHarness.h"
#include "LiveGrid.h"
#include "Main.h"
#include "RegisterMap.h"
#include "SimOnPty.h"
#include "TRecorderFrm.h"
#include "TTrendFrm.h"
#include "WaitUntil.h"

namespace {

using vr7c::sim::FaultKind;
using vr7c::sim::SimOptions;
using vr7c::sim::SimRunner;

constexpr int kSequenceRegister = 97;
constexpr int kFirstRawField = 33;
constexpr int kWaitMs = 20'000;

// A recording made while the console polls a simulated module that spoils some replies and
// then goes away: one row per good poll, each equal to what the live grid showed for the reply
// it came from (found by the sequence number the simulator stamps into register 97).
TEST(RecordingEndToEnd, OneRowPerGoodPollEqualToTheLiveGridForThatReply) {
    QTemporaryDir dir;
    SimOptions options;
    options.baud = 57600;
    SimOnPty rig(options);
    ASSERT_TRUE(rig.started());
    SimRunner& sim = rig.runner();
    sim.setFault(FaultKind::BadCrc, 10);
    sim.setFault(FaultKind::Split, 10);
    sim.setFault(FaultKind::NoiseAfter, 5);
    qputenv("VR7C_COM1", QByteArray::fromStdString(sim.path()));

    RealPortConsole console(dir.filePath(QStringLiteral("settings.ini")));
    RecordingPrompter& prompter = console.prompter;
    TMainForm& form = console.form;
    TRecorderFrm recorder(prompter, form.SettingsPath(), form.RegisterImage);
    TTrendFrm trend(form.RegisterImage);
    QObject::connect(&form, &TMainForm::GoodReplyTaken, &form, [&] {
        recorder.TakeGoodReply(form.Polling().GoodPolls);
        trend.TakeGoodReply(QDateTime::currentMSecsSinceEpoch());
    });
    recorder.SetFolder(dir.filePath(QStringLiteral("records")));
    recorder.RawCheck->setChecked(true);

    form.SpeedButton1->click();
    ASSERT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= 2; }, kWaitMs));
    recorder.StartButton->click();
    ASSERT_TRUE(recorder.Recording()) << prompter.LastText().toStdString();
    const int first = form.Polling().GoodPolls + 1;
    ASSERT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= first + 30; }, kWaitMs));
    sim.stop();  // the module goes away while recording
    QTest::qWait(300);
    const int last = form.Polling().GoodPolls;
    recorder.StartButton->click();
    ASSERT_FALSE(recorder.Recording());
    form.SpeedButton1->click();
    qunsetenv("VR7C_COM1");

    QFile file(recorder.FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_TRUE(lines.first().startsWith("\xEF\xBB\xBF时间,通信计数"));
    lines.removeFirst();
    ASSERT_TRUE(lines.last().isEmpty());
    lines.removeLast();
    ASSERT_EQ(lines.size(), last - first + 1);
    EXPECT_EQ(trend.History().Size(), static_cast<std::size_t>(last));

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split(',');
        ASSERT_EQ(fields.size(), kFirstRawField + 100);
        EXPECT_EQ(fields[1].toInt(), first + i);
        const auto sent = sim.sentReadReply(
            static_cast<std::uint16_t>(fields[kFirstRawField + kSequenceRegister].toUInt()));
        ASSERT_TRUE(sent.has_value()) << "row " << i;
        EXPECT_TRUE(sent->intact) << "row " << i;
        RegisterImageWords image{};
        for (int reg = 0; reg < 100; ++reg) {
            image[static_cast<std::size_t>(reg)] = sent->image[static_cast<std::size_t>(reg)];
            ASSERT_EQ(fields[kFirstRawField + reg].toUInt(),
                      sent->image[static_cast<std::size_t>(reg)]);
        }
        for (int channel = 0; channel < 6; ++channel) {
            const auto field = [&](int k) {
                return QString::fromUtf8(fields[2 + 5 * channel + k]);
            };
            const int col = channel + 1;
            EXPECT_EQ(field(0), LiveGrid::CellAt(image, col, 1).text);
            EXPECT_EQ(field(1), LiveGrid::CellAt(image, col, 2).text);
            EXPECT_EQ(field(2), LiveGrid::CellAt(image, col, 3).text);
            EXPECT_EQ(field(3) + QLatin1Char('%'), LiveGrid::CellAt(image, col, 4).percent);
            EXPECT_EQ(field(4), LiveGrid::CellAt(image, col, 4).text);
        }
    }
    EXPECT_TRUE(prompter.messages.empty()) << prompter.LastText().toStdString();
}

}  // namespace
