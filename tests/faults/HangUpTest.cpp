#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>

#include <string>
#include <vector>

#include "BannerGroupBox.h"
#include "FaultRig.h"

namespace {

const QString kPortErrorCaption = QStringLiteral("串口错误");
const QString kPortErrorText =
    QStringLiteral("当前串口号已经被占用，或其它错误 ！\r请选择其它串口，或检查串口设置是否正确。");

class HangUp : public ::testing::TestWithParam<bool> {};

TEST_P(HangUp, SimulatorEndedWhilePolling_IdleQuietAndBackAfterRestartAndReconnect) {
    ConsoleOnSim rig;
    rig.SetPlcCan(GetParam());
    ASSERT_TRUE(rig.StartSim());
    ASSERT_TRUE(rig.ConnectAndPoll(3));

    // The module's end of the line goes away, as when an adapter is unplugged.
    rig.StopSim();
    PumpFor(300);
    const int polls = rig.GoodPolls();
    const double cpu = CpuShareWhilePumping(3000);
    EXPECT_LT(cpu, 0.05) << "share of one core: " << cpu;
    RecordProperty("cpu_percent_after_hang_up", std::to_string(cpu * 100.0));
    EXPECT_EQ(rig.GoodPolls(), polls);
    EXPECT_TRUE(rig.Prompts().messages.empty()) << rig.Prompts().LastText().toStdString();
    // Lamp and caption tell that the adapter went away; the connection stays selected.
    EXPECT_TRUE(rig.Form().AdapterGone());
    EXPECT_EQ(rig.Form().GroupBox1->title(), QStringLiteral("通信连接 (串口已拔出)"));
    EXPECT_TRUE(rig.Form().SpeedButton1->isChecked());
    EXPECT_TRUE(rig.Form().Polling().LinkUp);

    // A write meanwhile fails after its attempts, without hanging.
    QElapsedTimer writing;
    writing.start();
    const std::vector<QString> texts = rig.WriteThroughDialog(31, QStringLiteral("77"));
    EXPECT_LT(writing.elapsed(), 10'000);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts.front(), QStringLiteral("通信失败 ！"));
    EXPECT_TRUE(rig.Form().Timer1.isActive());
    rig.Prompts().messages.clear();

    // The operator disconnects and tries again before the module is back.
    rig.Click();
    EXPECT_FALSE(rig.Connected());
    rig.Click();
    EXPECT_FALSE(rig.Connected());
    EXPECT_FALSE(rig.Form().SpeedButton1->isChecked());
    ASSERT_EQ(rig.Prompts().messages.size(), 1u);
    EXPECT_EQ(rig.Prompts().messages[0].caption, kPortErrorCaption);
    EXPECT_EQ(rig.Prompts().messages[0].text, kPortErrorText);
    const QString cause = rig.Prompts().messages[0].furtherText;
    EXPECT_TRUE(cause.contains(QString::fromStdString(rig.LinkPath()) + QStringLiteral(" 不存在")))
        << cause.toStdString();
    rig.Prompts().messages.clear();
    EXPECT_LT(CpuShareWhilePumping(1000), 0.05);

    // The module is back under the same port name: connecting again works.
    ASSERT_TRUE(rig.StartSim());
    ASSERT_TRUE(rig.ConnectAndPoll(2));
    EXPECT_TRUE(rig.ImageIsASentReply());
    EXPECT_TRUE(rig.StillResponsive());
}

TEST_P(HangUp, SimulatorRestartedUnderTheSameLink_PollingResumesWithoutAClick) {
    ConsoleOnSim rig;
    rig.SetPlcCan(GetParam());
    ASSERT_TRUE(rig.StartSim());
    ASSERT_TRUE(rig.ConnectAndPoll(2));
    const QString caption = rig.Form().GroupBox1->title();
    rig.StopSim();
    ASSERT_TRUE(WaitUntil([&] { return rig.Form().AdapterGone(); }, 5000));
    EXPECT_FALSE(rig.Connected());
    ASSERT_TRUE(rig.StartSim());
    // The same port comes back: it is opened again with the same settings and polled.
    EXPECT_TRUE(rig.WaitForMorePolls(2, 15000));
    EXPECT_FALSE(rig.Form().AdapterGone());
    EXPECT_TRUE(rig.Form().SpeedButton1->isChecked());
    EXPECT_EQ(rig.Form().GroupBox1->title(), caption);
    EXPECT_TRUE(rig.Prompts().messages.empty()) << rig.Prompts().LastText().toStdString();
    EXPECT_TRUE(rig.StillResponsive());
}

INSTANTIATE_TEST_SUITE_P(Modes, HangUp, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "PlcCan" : "PcUart");
                         });

}  // namespace
