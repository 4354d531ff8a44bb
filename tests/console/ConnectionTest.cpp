#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <cerrno>

#include "BannerGroupBox.h"
#include "ComPorts.h"
#include "ConsoleHarness.h"
#include "CounterText.h"
#include "DrawGrid.h"
#include "LineDiagnostics.h"
#include "LoopbackPort.h"
#include "RegisterMap.h"
#include "SimRunner.h"
#include "TPortSetupFrm.h"
#include "TShape.h"
#include "TrafficDecoder.h"
#include "WaitUntil.h"

namespace {

ModuleWords Words(std::initializer_list<std::pair<int, std::uint16_t>> values) {
    ModuleWords words{};
    for (const auto& [reg, value] : values) {
        words[static_cast<std::size_t>(reg)] = value;
    }
    return words;
}

}  // namespace

TEST(Connect, OpensTheChosenPortWithEvenParityAndTurnsTheLampGreen) {
    ConsoleHarness h;
    h.form->ComboBox1->setCurrentIndex(2);
    h.form->EX_Baud->setCurrentIndex(1);
    h.ClickConnect();
    EXPECT_EQ(h.port->openedName, "COM3");
    EXPECT_EQ(h.port->lastSettings.baudRate, 19200u);
    EXPECT_EQ(h.port->lastSettings.byteSize, 8);
    EXPECT_EQ(h.port->lastSettings.parity, 2);
    EXPECT_EQ(h.port->lastSettings.stopBits, 0);
    EXPECT_EQ(h.form->SpeedButton1->text(), "断开连接");
    EXPECT_EQ(h.form->Shape1->BrushColor(), QColor(0, 255, 0));
    EXPECT_TRUE(h.form->Timer1.isActive());
    EXPECT_EQ(h.form->Timer1.interval(), 30);
}

TEST(Connect, APortThatCannotBeOpenedGivesThePortErrorAndPopsTheButtonUp) {
    ConsoleHarness h;
    h.port->failOpen = true;
    h.ClickConnect();
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0].caption, "串口错误");
    EXPECT_EQ(h.prompter.messages[0].text,
              "当前串口号已经被占用，或其它错误 ！\r请选择其它串口，或检查串口设置是否正确。");
    EXPECT_EQ(h.prompter.messages[0].owner, h.form.get());
    EXPECT_FALSE(h.form->SpeedButton1->isChecked());
    EXPECT_EQ(h.form->SpeedButton1->text(), "开始连接");
    EXPECT_EQ(h.form->Shape1->BrushColor(), QColor(132, 187, 255));
    EXPECT_FALSE(h.form->Timer1.isActive());
}

TEST(Connect, AComNumberOnAModbusTcpGatewayPollsItInMbapFrames) {
    vr7c::sim::SimOptions options;
    options.modbusTcp = vr7c::sim::ListenAddress{"127.0.0.1", 0};
    vr7c::sim::SimRunner gateway(options);
    ASSERT_TRUE(gateway.start());
    gateway.setRegister(11, 150);
    qputenv("VR7C_COM1",
            QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(gateway.tcpPort()).toLatin1());
    QTemporaryDir dir;
    RealPortConsole console(dir.filePath(QStringLiteral("settings.ini")));
    RecordingPrompter& prompter = console.prompter;
    TMainForm& form = console.form;
    form.ComboBox1->setCurrentIndex(0);
    form.EX_Baud->setCurrentIndex(3);
    form.SpeedButton1->click();
    EXPECT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= 2; }, 10000))
        << prompter.LastText().toStdString();
    EXPECT_EQ(form.RegisterImage[11], 150);
    // The traffic monitor decodes the MBAP requests.
    const TrafficFrame& first = *form.Line().Ring().Find(form.Line().Ring().First());
    EXPECT_EQ(DecodeFrame(first, nullptr), QStringLiteral("事务 1 读 4x0000..4x0099 站 1"));
    form.SpeedButton1->click();
    qunsetenv("VR7C_COM1");
}

TEST(Connect, ANetworkLineSaysWhyItDidNotConnectAndADropShowsTheNetworkGone) {
    qputenv("VR7C_COM1", "tcp://127.0.0.1:4001");
    ConsoleHarness h;
    h.port->failOpen = true;
    h.port->openError = ECONNREFUSED;
    h.ClickConnect();
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0].caption, "VR7C-20NP");
    EXPECT_EQ(h.prompter.messages[0].text, "连接未成功 ！");
    EXPECT_TRUE(h.prompter.messages[0].furtherText.contains(
        QStringLiteral("tcp://127.0.0.1:4001 拒绝了连接")));
    EXPECT_FALSE(h.form->SpeedButton1->isChecked());

    h.port->failOpen = false;
    h.ClickConnect();
    ASSERT_TRUE(h.form->Timer1.isActive());
    h.port->hung = true;
    EXPECT_TRUE(WaitUntil([&] { return h.form->AdapterGone(); }));
    EXPECT_EQ(h.form->GroupBox1->title(), QStringLiteral("通信连接 (网络已断开)"));
    qunsetenv("VR7C_COM1");
}

// A raw TCP line whose server goes away is counted as a drop and opened again once a server
// listens on the same port; polling goes on without a message.
TEST(Connect, ADroppedRawTcpLineIsCountedAndReopenedOnceTheServerListensAgain) {
    vr7c::sim::SimOptions options;
    options.tcp = vr7c::sim::ListenAddress{"127.0.0.1", FreeLoopbackPort()};
    auto sim = std::make_unique<vr7c::sim::SimRunner>(options);
    ASSERT_TRUE(sim->start());
    qputenv("VR7C_COM1", "tcp://127.0.0.1:" + QByteArray::number(options.tcp->port));
    QTemporaryDir dir;
    RealPortConsole console(dir.filePath(QStringLiteral("settings.ini")));
    RecordingPrompter& prompter = console.prompter;
    TMainForm& form = console.form;
    form.SpeedButton1->click();
    EXPECT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= 2; }, 10'000));
    sim.reset();
    EXPECT_TRUE(WaitUntil([&] { return form.AdapterGone(); }, 10'000));
    EXPECT_EQ(form.Label5->toolTip(), "COM1 的网络连接已断开，服务器重新接受连接后自动重新连接");
    sim = std::make_unique<vr7c::sim::SimRunner>(options);
    ASSERT_TRUE(sim->start());
    const int before = form.Polling().GoodPolls;
    EXPECT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= before + 3; }, 10'000));
    EXPECT_FALSE(form.AdapterGone());
    const std::vector<CounterRow> rows = CounterRows(form.Line().Modbus().Counters(), 0, 0);
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const CounterRow& r) {
        return r.name == "连接断开" && r.value == "1";
    }));
    EXPECT_TRUE(prompter.messages.empty());
    qunsetenv("VR7C_COM1");
}

TEST(PortSetup, AFreeNumberGetsANetworkLineAndIsFreedAgain) {
    ConsoleHarness h;
    TPortSetupFrm dialog(h.form->Ports());
    dialog.PortList->setCurrentRow(4);
    dialog.UrlEdit->setText(QStringLiteral("rfc2217"));
    dialog.AssignButton->click();
    EXPECT_TRUE(dialog.StatusLabel->text().startsWith(QStringLiteral("网址无效")));
    dialog.UrlEdit->setText(QStringLiteral(" rfc2217://127.0.0.1:4001 "));
    dialog.AssignButton->click();
    EXPECT_EQ(dialog.PortList->item(4)->text(), "COM5 → rfc2217://127.0.0.1:4001（网络线路）");
    EXPECT_TRUE(h.form->Ports().IsNetwork(4));
    dialog.AssignButton->click();
    EXPECT_EQ(dialog.StatusLabel->text(), "COM5 已被占用，请先释放。");
    dialog.FreeButton->click();
    EXPECT_FALSE(h.form->Ports().IsNetwork(4));
    EXPECT_EQ(dialog.PortList->item(4)->text(), "COM5 → 没有插入设备");
}

TEST(Connect, AListWithoutSelectionRefusesToConnectWithAClearMessage) {
    ConsoleHarness h;
    h.form->EX_Baud->setCurrentIndex(7);
    ASSERT_EQ(h.form->EX_Baud->currentIndex(), -1);
    h.ClickConnect();
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0].caption, "串口错误");
    EXPECT_TRUE(h.port->calls.empty());
    EXPECT_FALSE(h.form->SpeedButton1->isChecked());
    EXPECT_FALSE(h.form->Timer1.isActive());
}

TEST(Connect, AnAddressListWithoutSelectionAlsoRefuses) {
    ConsoleHarness h;
    h.form->EX_Addr->setCurrentIndex(-1);
    h.ClickConnect();
    EXPECT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_FALSE(h.form->ComDriver().Connected());
}

TEST(PollingTick, SendsTheReadRequestOnTheFirstTick) {
    ConsoleHarness h;
    h.ConnectAndSend();
    ASSERT_EQ(h.port->writes.size(), 1u);
    const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x64, 0x44, 0x21};
    EXPECT_EQ(h.port->writes[0], request);
}

TEST(PollingTick, AReplyCompleteOnTheTwentiethTickIsTaken) {
    ConsoleHarness h;
    h.ConnectAndSend();
    h.Tick(19);
    h.Deliver(ReadReply(Words({{11, 150}})));
    h.Tick();
    EXPECT_TRUE(h.form->Polling().LinkUp);
    EXPECT_EQ(h.form->Label5->text(), "20");
    EXPECT_EQ(h.form->Edit4->text(), "1");
    EXPECT_EQ(h.form->RegisterImage[11], 150);
}

TEST(PollingTick, AReplyCompleteOnTheTwentyFirstTickIsIgnoredAndTheRequestResentOnTheNext) {
    ConsoleHarness h;
    h.ConnectAndSend();
    h.Tick(20);
    h.Deliver(ReadReply(Words({{11, 150}})));
    h.Tick();
    EXPECT_FALSE(h.form->Polling().LinkUp);
    EXPECT_EQ(h.form->RegisterImage[11], 0);
    EXPECT_EQ(h.ReadRequests(), 1);
    h.Tick();
    EXPECT_EQ(h.ReadRequests(), 2);
}

TEST(PollingTick, AWrongCrcCausesNoEarlyRetry) {
    ConsoleHarness h;
    h.ConnectAndSend();
    std::vector<std::uint8_t> broken = ReadReply(Words({{11, 150}}));
    broken.back() ^= 0xFF;
    h.Deliver(broken);
    h.Tick(20);
    EXPECT_EQ(h.ReadRequests(), 1);
    EXPECT_FALSE(h.form->Polling().LinkUp);
    EXPECT_EQ(h.form->Edit4->text(), "0");
    h.Tick(2);
    EXPECT_EQ(h.ReadRequests(), 2);
}

TEST(PollingTick, TheTickAfterAGoodReplySendsTheNextRequest) {
    ConsoleHarness h;
    h.ConnectWithReply(Words({}));
    EXPECT_EQ(h.ReadRequests(), 1);
    h.Tick();
    EXPECT_EQ(h.ReadRequests(), 2);
}

TEST(PollingTick, TheFirstTickAfterAReconnectSendsEvenWithARequestOutstanding) {
    ConsoleHarness h;
    h.ConnectAndSend();
    h.Tick(5);
    h.ClickConnect();
    h.ClickConnect();
    h.Tick();
    EXPECT_EQ(h.ReadRequests(), 2);
}

TEST(PollingTick, AGoodReplyUpdatesCaptionsCountersAndTheCommitButton) {
    ConsoleHarness h;
    h.ConnectWithReply(Words({{11, 105}, {10, 5}}));
    EXPECT_EQ(h.form->GroupBox1->title(), "通信连接 (固件:1.05)");
    EXPECT_EQ(h.form->GroupBox2->title(), "模块快键标定 ( 冷端温度: 0.05℃ )");
    EXPECT_EQ(h.form->Edit4->text(), "1");
    EXPECT_EQ(h.form->Label5->text(), "1");
    EXPECT_TRUE(h.form->BitBtn5->isEnabled());
    h.Tick();
    h.Tick(3);
    h.ReplyAndTick(Words({{11, 150}, {10, 2617}}));
    EXPECT_EQ(h.form->GroupBox1->title(), "通信连接 (固件:1.50)");
    EXPECT_EQ(h.form->GroupBox2->title(), "模块快键标定 ( 冷端温度: 26.17℃ )");
    EXPECT_EQ(h.form->Edit4->text(), "2");
    EXPECT_EQ(h.form->Label5->text(), "4");
}

TEST(PollingTick, TheGridsShowTheNewValuesAfterAGoodReply) {
    ConsoleHarness h;
    h.ConnectWithReply(Words({{30, 1234}, {40, 7}}));
    EXPECT_EQ(h.form->StringGrid1->DisplayText(1, 3), "123.4");
    EXPECT_EQ(h.form->StringGrid2->DisplayText(5, 7), "7");
}

TEST(PollingTick, TheFirmwareCaptionFitsEveryVersionWord) {
    ConsoleHarness h;
    h.ConnectAndSend();
    const BannerGroupBox& group = *h.form->GroupBox1;
    for (const std::uint16_t version :
         {std::uint16_t{150}, std::uint16_t{1000}, std::uint16_t{65535}}) {
        h.ReplyAndTick(Words({{11, version}}));
        h.Tick();
        const QFontMetrics caption(group.CaptionFont());
        EXPECT_LE(caption.horizontalAdvance(group.title()), group.CaptionRect().width());
        EXPECT_EQ(group.CaptionFont().pixelSize() == 16, version < 1000) << version;
    }
}

TEST(PlcCan, TheGridsArePaintedWithTheReplyBeforeTheHandshakeWritesBlock) {
    ConsoleHarness h;
    h.form->show();
    h.form->ComboBox6->setCurrentIndex(1);
    h.ConnectAndSend();
    QCoreApplication::processEvents();
    int painted[2] = {0, 0};
    h.form->StringGrid1->SetDrawCell(
        [&](QPainter&, int, int, const QRect&, bool) { ++painted[0]; });
    h.form->StringGrid2->SetDrawCell(
        [&](QPainter&, int, int, const QRect&, bool) { ++painted[1]; });
    int paintedGrids = -1;
    h.port->onWrite = [&](const std::vector<std::uint8_t>&) {
        paintedGrids = paintedGrids < 0 ? (painted[0] > 0) + (painted[1] > 0) : paintedGrids;
    };
    h.ReplyAndTick(Words({{30, 1234}}));
    EXPECT_EQ(paintedGrids, 2);
}

TEST(Disconnect, LeavesCaptionsGridsCountersAndTheImageAsTheyWere) {
    ConsoleHarness h;
    h.ConnectWithReply(Words({{11, 105}, {10, 5}, {30, 1234}}));
    h.ClickConnect();
    EXPECT_EQ(h.form->SpeedButton1->text(), "开始连接");
    EXPECT_EQ(h.form->Shape1->BrushColor(), QColor(132, 187, 255));
    EXPECT_FALSE(h.form->ComDriver().Connected());
    EXPECT_FALSE(h.form->Timer1.isActive());
    EXPECT_FALSE(h.form->Polling().LinkUp);
    EXPECT_EQ(h.form->Polling().GoodPolls, 0);
    EXPECT_FALSE(h.form->BitBtn5->isEnabled());
    EXPECT_EQ(h.form->GroupBox1->title(), "通信连接 (固件:1.05)");
    EXPECT_EQ(h.form->GroupBox2->title(), "模块快键标定 ( 冷端温度: 0.05℃ )");
    EXPECT_EQ(h.form->Edit4->text(), "1");
    EXPECT_EQ(h.form->Label5->text(), "1");
    EXPECT_EQ(h.form->StringGrid1->DisplayText(1, 3), "123.4");
    EXPECT_EQ(h.form->RegisterImage[30], 1234);
}

TEST(Disconnect, RestartsTheGoodReplyCountOnTheNextConnection) {
    ConsoleHarness h;
    h.ConnectWithReply(Words({}));
    h.ClickConnect();
    h.ConnectWithReply(Words({}));
    EXPECT_EQ(h.form->Edit4->text(), "1");
}

TEST(BadLine, NoiseAndSilenceNeverRaiseTheLinkAndTheRequestKeepsBeingRepeated) {
    ConsoleHarness h;
    h.ConnectAndSend();
    for (int round = 0; round < 5; ++round) {
        h.Deliver(std::vector<std::uint8_t>(300, static_cast<std::uint8_t>(0x55 + round)));
        h.Tick(22);
    }
    EXPECT_FALSE(h.form->Polling().LinkUp);
    EXPECT_EQ(h.ReadRequests(), 6);
    EXPECT_TRUE(h.prompter.messages.empty());
}

TEST(BadLine, AnUnpluggedAdapterKeepsPollingWithoutCrashOrMessage) {
    ConsoleHarness h;
    h.ConnectWithReply(Words({{11, 105}}));
    h.port->hung = true;
    h.Tick(100);
    EXPECT_TRUE(h.form->Polling().LinkUp);
    EXPECT_EQ(h.form->Edit4->text(), "1");
    EXPECT_TRUE(h.prompter.messages.empty());
    h.ClickConnect();
    EXPECT_FALSE(h.form->ComDriver().Connected());
}

TEST(PlcCan, EveryGoodReplyIsFollowedByTheTwoHandshakeWritesWhenTheBridgeIsNotReady) {
    ConsoleHarness h;
    h.EchoWrites();
    h.form->ComboBox6->setCurrentIndex(1);
    h.ConnectWithReply(Words({{98, 0}}));
    h.Tick();
    h.ReplyAndTick(Words({{98, 1}}));
    const std::vector<WireWrite> expected = {
        {2211, 43690}, {2210, 21845}, {2211, 43690}, {2210, 21845}};
    EXPECT_EQ(h.Writes(), expected);
    EXPECT_EQ(h.port->writes.front()[2], 0x08);
    EXPECT_EQ(h.port->writes.front()[3], 0x98);
}

TEST(PlcCan, AReadyBridgeWritesNothingAndTurnsTheModeLabelRedUntilTheNextConnect) {
    ConsoleHarness h;
    h.EchoWrites();
    h.form->ComboBox6->setCurrentIndex(1);
    h.ConnectWithReply(Words({{98, 6666}}));
    EXPECT_TRUE(h.Writes().empty());
    EXPECT_EQ(h.form->Label20->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    h.Tick();
    h.ReplyAndTick(Words({{98, 1}}));
    EXPECT_EQ(h.form->Label20->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    h.ClickConnect();
    h.ClickConnect();
    EXPECT_EQ(h.form->Label20->palette().color(QPalette::WindowText), QColor(0, 0, 0));
}

TEST(PlcCan, ModePcUartNeverWrites) {
    ConsoleHarness h;
    h.EchoWrites();
    h.ConnectWithReply(Words({{98, 0}}));
    EXPECT_TRUE(h.Writes().empty());
}

TEST(PlcCan, AFailedHandshakeIsNotReportedAndPollingGoesOn) {
    ConsoleHarness h;
    h.form->ComboBox6->setCurrentIndex(1);
    h.ConnectWithReply(Words({{98, 0}}));
    EXPECT_EQ(h.Writes().size(), 12u);
    EXPECT_TRUE(h.prompter.messages.empty());
    EXPECT_TRUE(h.form->Polling().RequestDue);
}

TEST(FirmwareButton, CopiesThePortIndexAndShowsTheDialogWhilePollingGoesOn) {
    ConsoleHarness h;
    QDialog firmware;
    QComboBox serialPort(&firmware);
    for (int port = 1; port <= 8; ++port) {
        serialPort.addItem(QStringLiteral("COM%1").arg(port));
    }
    h.form->SetFirmwareForm(&firmware, &serialPort);
    h.form->ComboBox1->setCurrentIndex(4);
    h.ClickConnect();
    bool pollingDuringDialog = false;
    h.prompter.onModal = [&](QDialog&) { pollingDuringDialog = h.form->Timer1.isActive(); };
    h.form->BitBtn3->click();
    ASSERT_EQ(h.prompter.modals.size(), 1u);
    EXPECT_EQ(h.prompter.modals[0], &firmware);
    EXPECT_EQ(serialPort.currentIndex(), 4);
    EXPECT_TRUE(pollingDuringDialog);
    EXPECT_TRUE(h.form->ComDriver().Connected());
}
