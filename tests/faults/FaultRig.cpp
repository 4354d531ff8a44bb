#include "FaultRig.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

#include "RegisterMap.h"

using vr7c::sim::SimOptions;
using vr7c::sim::SimRunner;

void PumpFor(int ms) {
    // One undisturbed loop, so the console's timers keep their periods.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BlockFor(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double CpuShareWhilePumping(int ms) {
    QElapsedTimer wall;
    const double before = ProcessCpuSeconds();
    wall.start();
    PumpFor(ms);
    const double used = ProcessCpuSeconds() - before;
    return used / (static_cast<double>(wall.elapsed()) / 1000.0);
}

std::array<std::uint16_t, 100> ConsoleImage(const TMainForm& form) {
    std::array<std::uint16_t, 100> image{};
    std::copy_n(form.RegisterImage.begin(), 100, image.begin());
    return image;
}

ConsoleOnSim::ConsoleOnSim() : link_(dir_.filePath(QStringLiteral("COM1")).toStdString()) {
    qputenv("VR7C_COM1", QByteArray::fromStdString(link_));
    MainFormOptions options;
    options.prompter = &prompter_;
    options.settingsPath = dir_.filePath(QStringLiteral("settings.ini"));
    form_ = std::make_unique<TMainForm>(std::move(options));
    monitor_ = std::make_unique<TMonitorDf>(*form_, prompter_, form_.get());
    form_->SetMonitorForm(monitor_.get());
}

ConsoleOnSim::~ConsoleOnSim() {
    monitor_.reset();
    form_.reset();
    if (sim_) {
        sim_->stop();
    }
    sim_.reset();
    qunsetenv("VR7C_COM1");
}

SimOptions ConsoleOnSim::DefaultSimOptions() {
    SimOptions options;
    options.frozen = true;
    options.presets = {{11, 150}, {10, 2617}, {98, 6666}};
    return options;
}

bool ConsoleOnSim::StartSim(SimOptions options) {
    options.link = link_;
    options.plcCan = plcCan_;
    if (sim_) {
        sim_->stop();
    }
    sim_ = std::make_unique<SimRunner>(options);
    std::string error;
    const bool started = sim_->start(&error);
    EXPECT_TRUE(started) << error;
    return started;
}

void ConsoleOnSim::StopSim() {
    if (sim_) {
        sim_->stop();
    }
}

void ConsoleOnSim::SetPlcCan(bool on) {
    plcCan_ = on;
    form_->ComboBox6->setCurrentIndex(on ? 1 : 0);
    if (sim_) {
        sim_->setPlcCan(on);
    }
}

void ConsoleOnSim::Click() {
    form_->SpeedButton1->click();
}

bool ConsoleOnSim::Connected() const {
    return form_->ComDriver().Connected();
}

int ConsoleOnSim::GoodPolls() const {
    return form_->Polling().GoodPolls;
}

::testing::AssertionResult ConsoleOnSim::ConnectAndPoll(int goodReplies) {
    const std::size_t messagesBefore = prompter_.messages.size();
    Click();
    if (!Connected()) {
        return ::testing::AssertionFailure()
               << "the port did not open: " << prompter_.LastText().toStdString();
    }
    if (prompter_.messages.size() != messagesBefore) {
        return ::testing::AssertionFailure() << "message on connect";
    }
    if (!WaitUntil([&] { return GoodPolls() >= goodReplies; }, 15000)) {
        return ::testing::AssertionFailure() << "only " << GoodPolls() << " good replies";
    }
    return ::testing::AssertionSuccess();
}

bool ConsoleOnSim::WaitForMorePolls(int more, int timeoutMs) {
    const int target = GoodPolls() + more;
    return WaitUntil([&] { return GoodPolls() >= target; }, timeoutMs);
}

void ConsoleOnSim::Quiesce() {
    // A request on the line is answered within a few milliseconds; a reply of 205 bytes takes
    // 40 ms at 57600 baud. The console cannot send while its thread is held here.
    BlockFor(150);
}

::testing::AssertionResult ConsoleOnSim::ImageIsASentReply(bool intactOnly) const {
    const auto image = ConsoleImage(*form_);
    const auto sent = sim_->sentReadReply(image[97]);
    if (!sent) {
        return ::testing::AssertionFailure() << "the console holds an image with sequence "
                                             << image[97] << " that the simulator never sent";
    }
    for (int i = 0; i < 100; ++i) {
        if (sent->image[static_cast<std::size_t>(i)] != image[static_cast<std::size_t>(i)]) {
            return ::testing::AssertionFailure()
                   << "register " << i << " is " << image[static_cast<std::size_t>(i)]
                   << " in the console and " << sent->image[static_cast<std::size_t>(i)]
                   << " in reply " << image[97];
        }
    }
    if (intactOnly && !sent->intact) {
        return ::testing::AssertionFailure()
               << "the console took reply " << image[97] << ", which was sent faulty";
    }
    return ::testing::AssertionSuccess();
}

std::vector<QString> ConsoleOnSim::WriteThroughDialog(int reg, const QString& value) {
    const std::size_t before = prompter_.messages.size();
    monitor_->Edit2->setText(QString::number(reg));
    monitor_->Edit1->setText(value);
    monitor_->BitBtn1Click();
    std::vector<QString> texts;
    for (std::size_t i = before; i < prompter_.messages.size(); ++i) {
        texts.push_back(prompter_.messages[i].text);
    }
    return texts;
}

::testing::AssertionResult ConsoleOnSim::StillResponsive() {
    sim_->clearFaults();
    sim_->setUnheardWriteRegister(-1);
    const std::size_t messagesBefore = prompter_.messages.size();
    if (!form_->Timer1.isActive()) {
        return ::testing::AssertionFailure() << "polling is not running";
    }
    // The next good replies are taken, and they are what the simulator sent.
    if (!WaitForMorePolls(2, 15000)) {
        return ::testing::AssertionFailure() << "no good reply taken after the fault";
    }
    if (auto sent = ImageIsASentReply(); !sent) {
        return sent;
    }
    // A write through the dialog reaches the module.
    const std::uint16_t value = nextWriteValue_++;
    sim_->clearWrites();
    const std::vector<QString> texts = WriteThroughDialog(31, QString::number(value));
    if (!texts.empty()) {
        return ::testing::AssertionFailure()
               << "the write was answered with \"" << texts.front().toStdString() << "\"";
    }
    if (sim_->reg(31) != value) {
        return ::testing::AssertionFailure() << "register 31 is " << sim_->reg(31);
    }
    if (!form_->Timer1.isActive()) {
        return ::testing::AssertionFailure() << "polling did not resume after the write";
    }
    if (!WaitForMorePolls(1, 15000)) {
        return ::testing::AssertionFailure() << "no good reply after the write";
    }
    if (form_->RegisterImage[31] != value && !WaitForMorePolls(1, 5000)) {
        return ::testing::AssertionFailure() << "the write never showed in the image";
    }
    // The disconnect closes the port and stops polling.
    Click();
    if (Connected() || form_->Timer1.isActive() ||
        form_->SpeedButton1->text() != QStringLiteral("开始连接") || form_->Polling().LinkUp) {
        return ::testing::AssertionFailure() << "the disconnect did not close the connection";
    }
    if (!WaitUntil([&] { return sim_->hungUp(); }, 5000)) {
        return ::testing::AssertionFailure() << "the simulator still sees the port open";
    }
    if (prompter_.messages.size() != messagesBefore) {
        return ::testing::AssertionFailure()
               << "unexpected message \"" << prompter_.LastText().toStdString() << "\"";
    }
    return ::testing::AssertionSuccess();
}
