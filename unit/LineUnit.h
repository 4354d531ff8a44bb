#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "ExitCode.h"
#include "LineOptions.h"
#include "LinePort.h"
#include "Plan.h"
#include "Runner.h"

class ModbusSession;

// The line settings a unit answers at.
struct UnitLine {
    int station = 1;
    int baud = 19200;
    int parity = 2;  // 8E1
};

// Where a plan's unit is first looked for: the station and rate the plan expects, else the
// given ones.
UnitLine FirstContact(const Plan& plan, int station, int baud);

// Reads the profiles and images the plan names, as its steps will, before any unit is touched.
// The first that cannot be used is kExitBadFile, as "FILE:LINE:1: why" with the step's line.
Outcome CheckPlanFiles(const Plan& plan, const QString& file);

// A line outcome as a step's: a mismatch is FAIL, any other failure ERROR with its exit code.
UnitOutcome FromOutcome(const Outcome& o);

// One unit on its port, as a plan's run reaches it, blocking on the line for each exchange:
// Modbus opened at the first request (and again after a flash or a profile that moved the
// module), the bootloader for a flash step, fixture commands. Keeps nothing outside itself, so
// each fixture slot runs one on a thread of its own. The port is resolved once, when the unit
// is made; the unit's thread never looks a COM number up again.
class LineUnit : public UnitAccess {
public:
    LineUnit(const LineOptions& options, const PortChoice& port, const UnitLine& line,
             std::uint32_t resetPauseMs);
    ~LineUnit() override;

    UnitOutcome ReadRegisters(std::uint16_t* regs) override;
    UnitOutcome WriteRegister(int reg, std::uint16_t value) override;
    UnitOutcome ApplyProfile(const QString& path) override;
    UnitOutcome Flash(const QString& imagePath, FlashedImage& flashed) override;
    UnitOutcome RunFixtureCommand(const QStringList& argv, int timeoutMs) override;
    // Nobody to ask on the line itself: whoever owns the unit asks the operator.
    PromptAnswer Prompt(const QString& text) override;
    // Sleeps in short slices, so that a stop request ends the wait early.
    void Wait(int ms) override;
    qint64 NowMs() override { return clock_.elapsed(); }
    bool StopRequested() override { return stopped && stopped(); }

    // Asked between steps, samples and slices of a wait, from the unit's thread; none: never.
    std::function<bool()> stopped;

    // Where the module answers now: as first looked for, or where a profile moved it.
    const UnitLine& line() const { return line_; }

private:
    UnitOutcome Open();

    LineOptions options_;
    PortChoice port_;
    UnitLine line_;
    std::uint32_t resetPauseMs_;
    std::unique_ptr<ModbusSession> session_;
    QElapsedTimer clock_;
};
