#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "ComPorts.h"
#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "FirmwareImage.h"
#include "LineOutput.h"
#include "RecordingMessageBox.h"
#include "Stm32Bootloader.h"
#include "TFirmwareFrm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class TFirmwareFrmTest : public ::testing::Test {
protected:
    TFirmwareFrmTest() {
        auto fake = std::make_unique<FakeSerialPortIo>();
        port = fake.get();
        form = std::make_unique<TFirmwareFrm>(nullptr, std::move(fake), &clock, &messages);
    }

    // Plays the driver's poll and the dialog's step timer, answering with the bootloader.
    void RunWithBootloader(vr7c::sim::Stm32Bootloader& boot) {
        vr7c::sim::LineOutput line{vr7c::sim::LineTiming{115200, 11}};
        const auto now = [this] { return vr7c::sim::Micros{clock.now} * 1000; };
        port->onWrite = [&](const Bytes& bytes) {
            for (auto b : bytes) {
                boot.receive(b, now(), line);
            }
        };
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        for (int ms = 0; ms < 60'000 && form->Session().Timer5.isActive(); ++ms) {
            ++clock.now;
            Bytes due;
            line.takeDue(now(), due);
            if (!due.empty()) {
                port->feed(due);
            }
            form->ComDriver.PollReceive();
            form->Timer5Timer();
        }
    }

    FakeClock clock;
    FakeSerialPortIo* port = nullptr;
    RecordingMessageBox messages;
    std::unique_ptr<TFirmwareFrm> form;
};

// --- Layout and texts ---

TEST_F(TFirmwareFrmTest, Layout_HasCaptionSizeAndControlsAtTheirPlaces) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("VR7C_20NP 固件更新"));
    EXPECT_EQ(form->size(), QSize(328, 89));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->font().pixelSize(), 16);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(242, 247, 251));

    EXPECT_EQ(form->Label1->text(), QStringLiteral("通信端口"));
    EXPECT_EQ(form->Label1->geometry(), QRect(5, 10, 64, 16));
    EXPECT_EQ(form->Serial_Port->pos(), QPoint(71, 6));
    EXPECT_EQ(form->Serial_Port->width(), 66);
    EXPECT_EQ(form->BitBtn1->text(), QStringLiteral("开始更新"));
    EXPECT_EQ(form->BitBtn1->geometry(), QRect(141, 5, 185, 26));
    EXPECT_FALSE(form->BitBtn1->icon().isNull());
    EXPECT_EQ(form->ProgressBar1->geometry(), QRect(1, 38, 326, 20));
    EXPECT_EQ(form->ProgressBar1->minimum(), 0);
    EXPECT_EQ(form->ProgressBar1->maximum(), 100);
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    EXPECT_EQ(form->Panel1->pos(), QPoint(4, 65));
    EXPECT_EQ(form->Panel1->text(), QStringLiteral("就绪..."));
}

TEST_F(TFirmwareFrmTest, PortList_HasCom1ToCom8WithFirstSelectedAndIsNotEditable) {
    ASSERT_EQ(form->Serial_Port->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(form->Serial_Port->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    }
    EXPECT_EQ(form->Serial_Port->currentIndex(), 0);
    EXPECT_FALSE(form->Serial_Port->isEditable());
}

TEST_F(TFirmwareFrmTest, Controls_CarryTheirNamesForTheMainWindowAndTests) {
    EXPECT_EQ(form->findChild<QComboBox*>(QStringLiteral("Serial_Port")), form->Serial_Port);
    EXPECT_EQ(form->findChild<QPushButton*>(QStringLiteral("BitBtn1")), form->BitBtn1);
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Panel1")), form->Panel1);
    EXPECT_EQ(form->findChild<QProgressBar*>(QStringLiteral("ProgressBar1")), form->ProgressBar1);
}

TEST_F(TFirmwareFrmTest, Showing_SetsReadyTextAndFocusesTheStartButton) {
    form->Panel1->setText(QStringLiteral("上载完成！"));
    form->show();
    EXPECT_EQ(form->Panel1->text(), QStringLiteral("就绪..."));
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(form->focusWidget(), form->BitBtn1);
    form->hide();
}

// --- Port errors ---

TEST_F(TFirmwareFrmTest, PortInUse_ShowsOneMessageOwnedByTheDialogWithThePortNumber) {
    port->failOpen = true;
    form->Serial_Port->setCurrentIndex(6);
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].owner, form.get());
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("串口错误"));
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral("当前串口号 COM7 已经被占用")));
    EXPECT_FALSE(form->Session().OvertimeT.isActive());
}

TEST_F(TFirmwareFrmTest, PortMissing_MessageAndTooltipTellTheCauseAsTheMainWindowDoes) {
    struct NoDevices final : PortCatalogue {
        std::vector<PortEntry> List() override { return {}; }
    } catalogue;
    QTemporaryDir dir;
    ComPorts ports(catalogue, dir.filePath(QStringLiteral("settings.ini")),
                   [](const QString&) { return DeviceCheck{}; });
    form->SetPorts(&ports);
    port->failOpen = true;
    form->Serial_Port->setCurrentIndex(2);
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral("当前串口号 COM3 已经被占用")));
    EXPECT_EQ(
        messages.shown[0].further,
        QStringLiteral("原因：COM3 没有对应的设备（没有插入适配器）。\n本机现在没有任何串口设备。\n"
                       "处理：插入 USB 串口适配器后再连接。"));
    EXPECT_EQ(form->Serial_Port->itemData(2, Qt::ToolTipRole).toString(), "COM3 → 没有插入设备");
}

TEST_F(TFirmwareFrmTest, ModbusTcpLine_IsRefusedBeforeOpeningWithWhatToUseInstead) {
    qputenv("VR7C_COM5", "modbus-tcp://127.0.0.1:1502");
    form->Serial_Port->setCurrentIndex(4);
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    qunsetenv("VR7C_COM5");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("Modbus TCP 线路不能更新固件 ！\r"
                             "请改用串口服务器的 rfc2217:// 线路，或本地串口。"));
    EXPECT_TRUE(port->openedName.empty());
}

// --- A download through the dialog ---

TEST_F(TFirmwareFrmTest, StartButton_OpensTheSelectedPortAndSearchesForTheDevice) {
    form->Serial_Port->setCurrentIndex(3);
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(port->openedName, "COM4");
    EXPECT_EQ(port->writes.back(), Bytes{0x7F});
    EXPECT_EQ(form->Panel1->text(), QStringLiteral("正在查找设备。。。"));
}

TEST_F(TFirmwareFrmTest, Download_ShowsCompletionAndLeavesTheProgressBarAtZero) {
    vr7c::sim::Stm32Bootloader boot;
    boot.reset(0);
    QSignalSpy progress(form->ProgressBar1, &QProgressBar::valueChanged);
    RunWithBootloader(boot);
    EXPECT_EQ(form->Panel1->text(), QStringLiteral("上载完成！模块已复位，未运行请重新上电。"));
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    ASSERT_GE(progress.count(), 99);
    EXPECT_EQ(progress.at(progress.count() - 2).at(0).toInt(), 100);
    const QByteArray image = LoadFirmwareImage();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    EXPECT_TRUE(std::equal(bytes, bytes + image.size(), boot.flash().begin()));
}

TEST_F(TFirmwareFrmTest, Watchdog_ThroughTheDialogEndsWithFailureText) {
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    for (int tick = 0; tick < 12; ++tick) {
        form->OvertimeTTimer();
    }
    EXPECT_EQ(form->Panel1->text(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_FALSE(form->ComDriver.Connected());
}

TEST_F(TFirmwareFrmTest, ClosingTheDialog_DoesNotStopARunningAttempt) {
    form->show();
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    form->close();
    EXPECT_TRUE(form->Session().OvertimeT.isActive());
    EXPECT_TRUE(form->Session().Timer5.isActive());
}

}  // namespace
