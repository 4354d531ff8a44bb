#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include "Plan.h"
#include "RunRecord.h"

// The result of one action on the unit. A failed check (a read back that differs, a fixture
// command that exits non-zero) is FAIL; a line or module that did not answer is ERROR, with the
// program's exit code for it in `code`.
struct UnitOutcome {
    Verdict verdict = Verdict::Pass;
    QString message;
    int code = 0;
    static UnitOutcome Ok() { return {}; }
    static UnitOutcome Failed(QString why) { return {Verdict::Fail, std::move(why), 0}; }
    static UnitOutcome Broken(int code, QString why) {
        return {Verdict::Error, std::move(why), code};
    }
};

struct FlashedImage {
    QString chipId;      // the chip's 96-bit unique ID in hex
    QString imageCrc32;  // 8 hex digits
};

enum class PromptAnswer { Confirmed, Declined, Gone };

// How the runner reaches one unit on its slot: the line, the bootloader, the fixture and the
// operator. The command line gives it real links; tests give it a fake unit.
class UnitAccess {
public:
    virtual ~UnitAccess() = default;
    // One poll of registers 0 to 99 into regs[0..99].
    virtual UnitOutcome ReadRegisters(std::uint16_t* regs) = 0;
    virtual UnitOutcome WriteRegister(int reg, std::uint16_t value) = 0;
    // Applies a configuration profile and reads it back; follows the module to a new station
    // or rate that the profile gives it.
    virtual UnitOutcome ApplyProfile(const QString& path) = 0;
    // Writes and verifies the image (empty path: the carried one), then starts it.
    virtual UnitOutcome Flash(const QString& image, FlashedImage& report) = 0;
    // A fixture command: its exit status is the step's result.
    virtual UnitOutcome RunFixtureCommand(const QStringList& argv, int timeoutMs) = 0;
    virtual PromptAnswer Prompt(const QString& text) = 0;
    virtual void Wait(int ms) = 0;
    // Milliseconds since some fixed point, for step durations.
    virtual qint64 NowMs() = 0;
    // True once the operator asked the run to stop.
    virtual bool StopRequested() { return false; }
};

// Told of each step as it ends, to record and show it. A false answer (the record could not be
// written) ends the run with ERROR: a run that is not on record must not go on.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void StepStarted(const PlanStep& /*step*/, int /*seq*/) {}
    virtual bool StepFinished(const RunRecord& run, const StepRecord& step) = 0;
};

// Runs a fixture command, killing it after the time-out.
UnitOutcome RunProcess(const QStringList& argv, int timeoutMs);

// Runs a plan on one unit: steps in order, each judged; steps after a FAIL are skipped unless
// the plan continues on failure, steps after an ERROR or an abort always. The run's result is
// the worst step's; `errorCode` is the exit code of the first ERROR.
class Runner {
public:
    Runner(const Plan& plan, UnitAccess& unit, RunObserver& observer)
        : plan_(plan), unit_(unit), observer_(observer) {}

    // Fills in the steps, result, duration, chip ID, image CRC and firmware version of `run`.
    void Run(RunRecord& run);
    int errorCode() const { return errorCode_; }

private:
    StepRecord RunStep(const PlanStep& step, RunRecord& run);
    // `configured`: a config step has run, whose read-back has checked the station and rate
    // its profile gives; the expected ones are where the unit was met before it.
    StepRecord CheckExpectations(RunRecord& run, bool configured);
    void Measure(const PlanStep& step, StepRecord& record, RunRecord& run);
    bool Finish(RunRecord& run, StepRecord record, qint64 startMs);

    const Plan& plan_;
    UnitAccess& unit_;
    RunObserver& observer_;
    int errorCode_ = 0;
};
