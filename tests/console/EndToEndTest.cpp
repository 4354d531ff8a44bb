#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>

#include "BannerGroupBox.h"
#include "ConfigPanel.h"
#include "ConsoleHarness.h"
#include "DrawGrid.h"
#include "FormatFixed.h"
#include "Main.h"
#include "MonitorD.h"
#include "SimOnPty.h"
#include "TSpinEdit.h"
#include "WaitUntil.h"

namespace {

using vr7c::sim::SimOptions;

// The console on its real serial port, with COM1 mapped to a simulated module's
// pseudo-terminal.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        SimOptions options;
        options.frozen = true;
        options.presets = {{11, 150}, {10, 2617}, {30, 1234}, {9, 5}, {24, 1000}};
        rig_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(rig_->started());
        sim_ = &rig_->runner();
        qputenv("VR7C_COM1", QByteArray::fromStdString(sim_->path()));
        MainFormOptions formOptions;
        formOptions.prompter = &prompter_;
        formOptions.settingsPath = dir_.filePath(QStringLiteral("settings.ini"));
        form_ = std::make_unique<TMainForm>(std::move(formOptions));
        monitor_ = std::make_unique<TMonitorDf>(*form_, prompter_, form_.get());
        form_->SetMonitorForm(monitor_.get());
    }

    void TearDown() override {
        monitor_.reset();
        form_.reset();
        rig_.reset();
        qunsetenv("VR7C_COM1");
    }

    int GoodPolls() const { return form_->Polling().GoodPolls; }

    QTemporaryDir dir_;
    RecordingPrompter prompter_;
    std::unique_ptr<SimOnPty> rig_;
    vr7c::sim::SimRunner* sim_ = nullptr;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TMonitorDf> monitor_;
};

}  // namespace

TEST_F(EndToEnd, TheConsolePollsTheSimulatorThroughCom1AndShowsItsValues) {
    form_->SpeedButton1->click();
    ASSERT_TRUE(form_->ComDriver().Connected()) << prompter_.LastText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return GoodPolls() >= 3; }));
    EXPECT_EQ(form_->GroupBox1->title(), "通信连接 (固件:1.50)");
    EXPECT_EQ(form_->GroupBox2->title(), "模块快键标定 ( 冷端温度: 26.17℃ )");
    EXPECT_EQ(form_->StringGrid1->DisplayText(1, 3), "123.4");
    EXPECT_EQ(form_->StringGrid1->DisplayText(1, 4), "ON 100.0%");
    EXPECT_EQ(form_->StringGrid1->DisplayText(2, 4).left(3), "OFF");
    const auto image = sim_->lastReadImage();
    EXPECT_EQ(form_->StringGrid2->DisplayText(1, 1), QString::number(image[0]));
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(EndToEnd, ASetTemperatureWrittenThroughTheDialogArrivesInTheSimulator) {
    form_->SpeedButton1->click();
    ASSERT_TRUE(WaitUntil([&] { return form_->Polling().LinkUp; }));
    prompter_.onModal = [&](QDialog&) {
        monitor_->Edit1->setText(QStringLiteral("2500"));
        monitor_->BitBtn1Click();
    };
    form_->StringGrid1->SetCurrentCell(2, 3);
    form_->StringGrid1DblClick();
    ASSERT_EQ(prompter_.modals.size(), 1u);
    EXPECT_TRUE(prompter_.messages.empty()) << prompter_.LastText().toStdString();
    EXPECT_EQ(sim_->reg(31), 2500);
    const int before = GoodPolls();
    ASSERT_TRUE(WaitUntil([&] { return GoodPolls() >= before + 2; }));
    EXPECT_EQ(form_->StringGrid1->DisplayText(2, 3), "250.0");
}

TEST_F(EndToEnd, ACommittedConversionModeReachesTheSimulatorAndChangesTheLiveGridScaling) {
    form_->SpeedButton1->click();
    ASSERT_TRUE(WaitUntil([&] { return GoodPolls() >= 5; }));
    EXPECT_EQ(form_->StringGrid1->DisplayText(1, 1).section(QLatin1Char('.'), 1).size(), 5);
    ConfigPanel& panel = form_->Panel();
    panel.ComboBox4->setCurrentIndex(1);
    form_->ComboBox4Change();
    panel.SpinEdit2->setValue(7);
    form_->BitBtn5Click();
    EXPECT_EQ(prompter_.LastText(), "标定完毕 ！");
    EXPECT_EQ(sim_->reg(86), 1);
    EXPECT_EQ(sim_->reg(90), 7);
    // The module answers at its new station from now on.
    form_->EX_Addr->setCurrentIndex(7);
    const int before = GoodPolls();
    ASSERT_TRUE(WaitUntil([&] { return GoodPolls() >= before + 3; }));
    EXPECT_EQ(sim_->lastReadImage()[86], 1);
    EXPECT_EQ(form_->StringGrid1->DisplayText(1, 1).section(QLatin1Char('.'), 1).size(), 2);
    EXPECT_EQ(form_->StringGrid1->Cell(0, 1), "采集电阻(Ω)");
}
