#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Main.h"
#include "MonitorD.h"
#include "ProcessCpu.h"
#include "RecordingPrompter.h"
#include "SimRunner.h"
#include "WaitUntil.h"

// Runs the event loop for this long.
void PumpFor(int ms);
// Blocks the thread without an event loop: the simulator runs on, the console does not.
void BlockFor(int ms);
// Share of one core the process used while the event loop ran for this long.
double CpuShareWhilePumping(int ms);

// The main window and the write dialog on the real serial port, with COM1 mapped to a
// stable symbolic link that leads to the simulated module's pseudo-terminal, so that the
// simulator can end and start again under the same port name.
class ConsoleOnSim {
public:
    ConsoleOnSim();
    ~ConsoleOnSim();

    // Starts a simulator at the link; frozen values unless told otherwise.
    bool StartSim(vr7c::sim::SimOptions options = DefaultSimOptions());
    // Ends the simulator: the console's side of the line hangs up.
    void StopSim();
    static vr7c::sim::SimOptions DefaultSimOptions();

    vr7c::sim::SimRunner& Sim() { return *sim_; }
    TMainForm& Form() { return *form_; }
    TMonitorDf& Monitor() { return *monitor_; }
    RecordingPrompter& Prompts() { return prompter_; }
    const std::string& LinkPath() const { return link_; }

    // Connection mode "PLC-CAN" (true) or "PC-UART" on both ends; in "PLC-CAN" the bridge
    // reports itself ready, so no handshake writes follow the polls.
    void SetPlcCan(bool on);
    // Presses the connect button (down or up).
    void Click();
    bool Connected() const;
    int GoodPolls() const;
    // Connects and waits for this many good replies.
    ::testing::AssertionResult ConnectAndPoll(int goodReplies = 2);
    // Waits until the console has taken this many more good replies.
    bool WaitForMorePolls(int more, int timeoutMs);
    // Lets the simulator answer everything the console has sent so far, with the console's
    // event loop held, so that a fault set now meets only requests sent after it.
    void Quiesce();

    // The console's image of registers 0 to 99 is one the simulator sent intact (or, when
    // intactOnly is false, one it sent at all).
    ::testing::AssertionResult ImageIsASentReply(bool intactOnly = true) const;
    // After a fault: the console takes the next good replies, writes a register through the
    // write dialog, and disconnects cleanly.
    ::testing::AssertionResult StillResponsive();

    // Writes through the write dialog as the operator would; gives the messages it caused.
    std::vector<QString> WriteThroughDialog(int reg, const QString& value);

private:
    QTemporaryDir dir_;
    std::string link_;
    RecordingPrompter prompter_;
    std::unique_ptr<vr7c::sim::SimRunner> sim_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TMonitorDf> monitor_;
    bool plcCan_ = false;
    std::uint16_t nextWriteValue_ = 1000;
};

// The whole register block 0 to 99 of the console's image.
std::array<std::uint16_t, 100> ConsoleImage(const TMainForm& form);
