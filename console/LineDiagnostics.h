#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>

#include "LineRecorder.h"
#include "TrafficRing.h"

class Prompter;
class StatusLineEntry;
class TickClock;
class TTrafficMonitor;
class RtuMaster;
class VEVErizEvezad;
class QWidget;

// The main window's line diagnostics: the traffic ring, the recorders the Modbus master and
// the firmware session report to, the status-line entry and the traffic monitor (made when
// first opened).
class LineDiagnostics : public QObject {
    Q_OBJECT

public:
    static constexpr int kStatusIntervalMs = 500;

    LineDiagnostics(QWidget& mainWindow, TickClock& clock, RtuMaster& master, Prompter& prompter);
    ~LineDiagnostics() override;

    // The main window's port was opened at this rate, or closed.
    void LineOpened(std::uint32_t baud);
    void LineClosed();
    // The main window's network line hung up while connected.
    void ConnectionDropped();
    // The console holds polling while a write, a commit with its message or the firmware
    // dialog lasts; holds may nest.
    void HoldPolling();
    void ResumePolling();

    TrafficTap& BootloaderTap() { return bootloader_; }
    ModbusRecorder& Modbus() { return modbus_; }
    const TrafficRing& Ring() const { return ring_; }
    StatusLineEntry& Entry() { return *entry_; }
    // The monitor window, made on first use.
    TTrafficMonitor& Monitor();
    // Shows the entry's state now (its timer does so every half second).
    void ShowStatus();

private:
    QWidget& mainWindow_;
    TickClock& clock_;
    RtuMaster& master_;
    VEVErizEvezad& driver_;
    Prompter& prompter_;
    TrafficRing ring_;
    ModbusRecorder modbus_;
    BootloaderRecorder bootloader_;
    StatusLineEntry* entry_;
    QTimer statusTimer_;
    int holds_ = 0;
    std::unique_ptr<TTrafficMonitor> monitor_;
};

// Holds polling in the line's state for as long as it lives.
class PollingHold {
public:
    explicit PollingHold(LineDiagnostics& line) : line_(line) { line_.HoldPolling(); }
    ~PollingHold() { line_.ResumePolling(); }
    PollingHold(const PollingHold&) = delete;
    PollingHold& operator=(const PollingHold&) = delete;

private:
    LineDiagnostics& line_;
};
