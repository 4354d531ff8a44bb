#include "LineDiagnostics.h"

#include "MODBUS_RTU.h"
#include "StatusLineEntry.h"
#include "TTrafficMonitor.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

LineDiagnostics::LineDiagnostics(QWidget& mainWindow, TickClock& clock, RtuMaster& master,
                                 Prompter& prompter)
    : mainWindow_(mainWindow),
      clock_(clock),
      master_(master),
      driver_(master.ComDriver()),
      prompter_(prompter),
      modbus_(ring_, [&clock] { return clock.tickCount(); }),
      bootloader_(ring_, [&clock] { return clock.tickCount(); }),
      entry_(new StatusLineEntry(&mainWindow)) {
    master_.SetTrafficTap(&modbus_);
    // The reply is complete when its last chunk arrives, between the polling ticks.
    driver_.SetOnReceiveData(
        [this](VEVErizEvezad*, const void*, std::int32_t) { modbus_.BytesArrived(); });
    entry_->AddWindow(tr("报文监视..."), QKeySequence(Qt::CTRL | Qt::Key_M),
                      [this] { Monitor().ShowPage(TTrafficMonitor::kTrafficPage); });
    entry_->AddWindow(tr("通信计数..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M),
                      [this] { Monitor().ShowPage(TTrafficMonitor::kCountersPage); });
    statusTimer_.setInterval(kStatusIntervalMs);
    connect(&statusTimer_, &QTimer::timeout, this, &LineDiagnostics::ShowStatus);
}

LineDiagnostics::~LineDiagnostics() {
    master_.SetTrafficTap(nullptr);
    driver_.SetOnReceiveData({});
}

void LineDiagnostics::LineOpened(std::uint32_t baud) {
    modbus_.LineOpened(baud);
    statusTimer_.start();
    ShowStatus();
}

void LineDiagnostics::LineClosed() {
    modbus_.LineClosed();
    statusTimer_.stop();
    ShowStatus();
}

void LineDiagnostics::ConnectionDropped() {
    modbus_.ConnectionDropped();
    ShowStatus();
}

void LineDiagnostics::HoldPolling() {
    if (holds_++ == 0) {
        modbus_.SetHeld(true);
        ShowStatus();
    }
}

void LineDiagnostics::ResumePolling() {
    if (holds_ > 0 && --holds_ == 0) {
        modbus_.SetHeld(false);
        ShowStatus();
    }
}

TTrafficMonitor& LineDiagnostics::Monitor() {
    if (!monitor_) {
        monitor_ = std::make_unique<TTrafficMonitor>(
            ring_, modbus_, prompter_, [this] { return clock_.tickCount(); }, &mainWindow_);
    }
    return *monitor_;
}

void LineDiagnostics::ShowStatus() {
    entry_->ShowStatus(modbus_.Status());
}
