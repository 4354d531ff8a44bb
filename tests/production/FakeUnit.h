#pragma once

#include <array>
#include <functional>
#include <map>

#include "RegisterNumbers.h"
#include "Runner.h"

// A unit that answers from a register array; each poll may change it first. Actions answer as
// scripted, by default with success; the clock moves only when a wait is asked for.
class FakeUnit : public UnitAccess {
public:
    std::array<std::uint16_t, kPolledRegisters> regs{};
    std::function<void(int poll, std::uint16_t* regs)> beforePoll;
    std::map<QString, UnitOutcome> outcomes;  // by action: "read", "write", "config", ...
    PromptAnswer answer = PromptAnswer::Confirmed;
    QStringList actions;
    qint64 now = 0;
    int polls = 0;

    // Channel k's acquired value in units of 1e-5 mV (or 0.01 Ω).
    void SetAcquired(int k, std::int32_t v) {
        regs[Reg::kAcquiredLowFirst + 2 * k] = static_cast<std::uint16_t>(v & 0xFFFF);
        regs[Reg::kAcquiredLowFirst + 2 * k + 1] = static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
    }

    UnitOutcome ReadRegisters(std::uint16_t* out) override {
        if (beforePoll) {
            beforePoll(polls, regs.data());
        }
        ++polls;
        std::copy(regs.begin(), regs.end(), out);
        return Answer("read");
    }
    UnitOutcome WriteRegister(int reg, std::uint16_t value) override {
        regs[static_cast<std::size_t>(reg)] = value;
        return Answer("write");
    }
    UnitOutcome ApplyProfile(const QString&) override { return Answer("config"); }
    UnitOutcome Flash(const QString&, FlashedImage& report) override {
        report.chipId = QStringLiteral("0123456789abcdef01234567");
        report.imageCrc32 = QStringLiteral("1a2b3c4d");
        return Answer("flash");
    }
    UnitOutcome RunFixtureCommand(const QStringList& argv, int) override {
        return Answer(QStringLiteral("command ") + argv.join(QLatin1Char(' ')));
    }
    PromptAnswer Prompt(const QString&) override {
        actions << QStringLiteral("prompt");
        return answer;
    }
    void Wait(int ms) override {
        actions << QStringLiteral("wait");
        now += ms;
    }
    qint64 NowMs() override { return now; }

private:
    UnitOutcome Answer(const QString& action) {
        actions << action;
        const auto it = outcomes.find(action);
        return it == outcomes.end() ? UnitOutcome::Ok() : it->second;
    }
};

// Keeps what it is told.
class KeptSteps : public RunObserver {
public:
    std::vector<StepRecord> steps;
    bool StepFinished(const RunRecord&, const StepRecord& step) override {
        steps.push_back(step);
        return true;
    }
};
