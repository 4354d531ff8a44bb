#include "Runner.h"

#include <QProcess>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "RegisterNumbers.h"

namespace {

// Worse outcomes rank higher.
int Rank(Verdict v) {
    switch (v) {
        case Verdict::Pass:
        case Verdict::Skipped:
        case Verdict::Running:
            return 0;
        case Verdict::Marginal:
            return 1;
        case Verdict::Fail:
            return 2;
        case Verdict::Error:
            return 3;
        case Verdict::Aborted:
            return 4;
    }
    return 0;
}

Verdict Judge(const Limits& l, double mean, double spread) {
    if (mean < l.low || mean > l.high || (l.spread && spread > *l.spread)) {
        return Verdict::Fail;
    }
    if ((l.marginalLow && mean < *l.marginalLow) || (l.marginalHigh && mean > *l.marginalHigh)) {
        return Verdict::Marginal;
    }
    return Verdict::Pass;
}

bool HasExpectations(const PlanExpect& e) {
    return e.station || e.rate || e.mode || e.firmwareVersion;
}

constexpr int kRs485Rates[] = {9600, 19200, 38400, 57600};

}  // namespace

UnitOutcome RunProcess(const QStringList& argv, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(argv.first(), argv.mid(1));
    if (!process.waitForStarted(timeoutMs)) {
        return UnitOutcome::Broken(1, QStringLiteral("fixture command %1 did not start: %2")
                                          .arg(argv.first(), process.errorString()));
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(-1);
        return UnitOutcome::Failed(QStringLiteral("fixture command %1 took more than %2 ms")
                                       .arg(argv.first())
                                       .arg(timeoutMs));
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        return UnitOutcome::Failed(QStringLiteral("fixture command %1 crashed").arg(argv.first()));
    }
    if (process.exitCode() != 0) {
        return UnitOutcome::Failed(QStringLiteral("fixture command %1 exited with %2")
                                       .arg(argv.first())
                                       .arg(process.exitCode()));
    }
    return UnitOutcome::Ok();
}

void Runner::Run(RunRecord& run) {
    run.steps.clear();
    const qint64 start = unit_.NowMs();
    // The unit is judged against the plan's expectations once it has its firmware and
    // configuration: after the last flash or config step.
    std::size_t expectAt = 0;
    bool configured = false;
    for (std::size_t i = 0; i < plan_.steps.size(); ++i) {
        if (plan_.steps[i].kind == StepKind::Flash || plan_.steps[i].kind == StepKind::Config) {
            expectAt = i + 1;
        }
        configured = configured || plan_.steps[i].kind == StepKind::Config;
    }
    const bool expect = HasExpectations(plan_.expect);
    bool stopped = false;  // an error or abort: nothing more is run
    bool failed = false;
    auto skip = [&](StepRecord record) {
        record.verdict = Verdict::Skipped;
        record.message = QStringLiteral("not run after an earlier failure");
        stopped = !Finish(run, std::move(record), unit_.NowMs()) || stopped;
    };
    for (std::size_t i = 0; i <= plan_.steps.size(); ++i) {
        if (expect && i == expectAt) {
            StepRecord check;
            check.kind = QStringLiteral("check");
            check.name = QStringLiteral("expect");
            if (stopped || (failed && !plan_.continueOnFail)) {
                skip(std::move(check));
            } else {
                const qint64 t = unit_.NowMs();
                check = CheckExpectations(run, configured);
                failed = failed || check.verdict == Verdict::Fail;
                stopped = stopped || Rank(check.verdict) >= Rank(Verdict::Error);
                stopped = !Finish(run, std::move(check), t) || stopped;
            }
        }
        if (i == plan_.steps.size()) {
            break;
        }
        const PlanStep& step = plan_.steps[i];
        if (!stopped && unit_.StopRequested()) {
            StepRecord record{
                0, QLatin1String(StepKindName(step.kind)),    step.name,   Verdict::Aborted, {},
                0, QStringLiteral("stopped by the operator"), std::nullopt};
            Finish(run, std::move(record), unit_.NowMs());
            stopped = true;
            continue;
        }
        if (stopped || (failed && !plan_.continueOnFail)) {
            skip({0,
                  QLatin1String(StepKindName(step.kind)),
                  step.name,
                  Verdict::Skipped,
                  {},
                  0,
                  {},
                  std::nullopt});
            continue;
        }
        observer_.StepStarted(step, static_cast<int>(run.steps.size()) + 1);
        const qint64 t = unit_.NowMs();
        StepRecord record = RunStep(step, run);
        failed = failed || record.verdict == Verdict::Fail;
        stopped = stopped || Rank(record.verdict) >= Rank(Verdict::Error);
        stopped = !Finish(run, std::move(record), t) || stopped;
    }
    Verdict result = Verdict::Pass;
    for (const StepRecord& s : run.steps) {
        if (Rank(s.verdict) > Rank(result)) {
            result = s.verdict;
        }
    }
    run.result = result;
    run.durationMs = unit_.NowMs() - start;
}

bool Runner::Finish(RunRecord& run, StepRecord record, qint64 startMs) {
    record.seq = static_cast<int>(run.steps.size()) + 1;
    record.started = QDateTime::currentDateTimeUtc();
    record.durationMs = std::max<qint64>(0, unit_.NowMs() - startMs);
    if (record.verdict == Verdict::Error && errorCode_ == 0) {
        errorCode_ = 1;
    }
    run.steps.push_back(std::move(record));
    if (!observer_.StepFinished(run, run.steps.back())) {
        // The step stays in the run's result, marked as not kept.
        StepRecord& kept = run.steps.back();
        kept.verdict = Verdict::Error;
        kept.message = QStringLiteral("the record could not be written");
        errorCode_ = errorCode_ == 0 ? 1 : errorCode_;
        return false;
    }
    return true;
}

StepRecord Runner::RunStep(const PlanStep& step, RunRecord& run) {
    StepRecord record;
    record.kind = QLatin1String(StepKindName(step.kind));
    record.name = step.name;
    UnitOutcome outcome;
    switch (step.kind) {
        case StepKind::Flash: {
            FlashedImage report;
            outcome = unit_.Flash(step.file, report);
            if (!report.chipId.isEmpty()) {
                run.chipId = report.chipId;
            }
            if (!report.imageCrc32.isEmpty()) {
                run.imageCrc32 = report.imageCrc32;
            }
            if (outcome.verdict == Verdict::Pass) {
                outcome.message = QStringLiteral("chip %1, image CRC-32 %2")
                                      .arg(report.chipId, report.imageCrc32);
            }
            break;
        }
        case StepKind::Config:
            outcome = unit_.ApplyProfile(step.file);
            break;
        case StepKind::Write:
            outcome = unit_.WriteRegister(step.reg, static_cast<std::uint16_t>(step.value));
            break;
        case StepKind::Wait:
            unit_.Wait(step.ms);
            break;
        case StepKind::Prompt:
            switch (unit_.Prompt(step.text)) {
                case PromptAnswer::Confirmed:
                    break;
                case PromptAnswer::Declined:
                    outcome = UnitOutcome::Failed(QStringLiteral("the operator said no"));
                    break;
                case PromptAnswer::Gone:
                    outcome = {Verdict::Aborted, QStringLiteral("no operator answer"), 0};
                    break;
            }
            break;
        case StepKind::Command:
            outcome = unit_.RunFixtureCommand(step.argv, step.ms);
            break;
        case StepKind::Measure:
            Measure(step, record, run);
            return record;
    }
    record.verdict = outcome.verdict;
    record.message = outcome.message;
    if (outcome.verdict == Verdict::Error && errorCode_ == 0) {
        errorCode_ = outcome.code;
    }
    return record;
}

void Runner::Measure(const PlanStep& step, StepRecord& record, RunRecord& run) {
    MeasurementRecord m;
    m.quantity = step.quantity.Name();
    m.limits = step.limits;
    std::uint16_t regs[kPolledRegisters] = {};
    // A poll that goes wrong is taken again, as many times as there are samples.
    int misses = 0;
    while (static_cast<int>(m.samples.size()) < step.samples) {
        // A stop ends the step between two polls rather than after all of them.
        if (unit_.StopRequested()) {
            record.verdict = Verdict::Aborted;
            record.message = QStringLiteral("stopped by the operator");
            record.measurement = std::move(m);
            return;
        }
        const UnitOutcome poll = unit_.ReadRegisters(regs);
        if (poll.verdict != Verdict::Pass) {
            if (++misses > step.samples) {
                record.verdict = Verdict::Error;
                record.message = poll.message;
                errorCode_ = errorCode_ == 0 ? poll.code : errorCode_;
                record.measurement = std::move(m);
                return;
            }
            continue;
        }
        m.samples.push_back(QuantityValue(step.quantity, regs));
    }
    run.firmwareVersion = QString::number(regs[Reg::kVersion] / 100.0, 'f', 2);
    m.unit = QuantityUnit(step.quantity, regs[Reg::kConversionMode]);
    const auto [lo, hi] = std::minmax_element(m.samples.begin(), m.samples.end());
    m.spread = *hi - *lo;
    m.mean = std::accumulate(m.samples.begin(), m.samples.end(), 0.0) /
             static_cast<double>(m.samples.size());
    if (!step.unit.isEmpty() && step.unit != m.unit) {
        m.verdict = Verdict::Fail;
        record.message = QStringLiteral(
                             "%1 reads in %2 in the module's conversion mode, the "
                             "plan's limits are in %3")
                             .arg(m.quantity, m.unit, step.unit);
    } else {
        m.verdict = Judge(step.limits, m.mean, m.spread);
        if (m.verdict == Verdict::Fail && step.limits.spread && m.spread > *step.limits.spread &&
            m.mean >= step.limits.low && m.mean <= step.limits.high) {
            record.message =
                QStringLiteral("spread %1 above %2").arg(m.spread).arg(*step.limits.spread);
        }
    }
    record.verdict = m.verdict;
    record.measurement = std::move(m);
}

StepRecord Runner::CheckExpectations(RunRecord& run, bool configured) {
    StepRecord record;
    record.kind = QStringLiteral("check");
    record.name = QStringLiteral("expect");
    std::uint16_t regs[kPolledRegisters] = {};
    const UnitOutcome poll = unit_.ReadRegisters(regs);
    if (poll.verdict != Verdict::Pass) {
        record.verdict = poll.verdict;
        record.message = poll.message;
        errorCode_ = errorCode_ == 0 ? poll.code : errorCode_;
        return record;
    }
    run.firmwareVersion = QString::number(regs[Reg::kVersion] / 100.0, 'f', 2);
    QStringList wrong;
    const PlanExpect& e = plan_.expect;
    // The expected station and rate are the address the unit is met at; a profile may move it.
    if (e.station && !configured && regs[Reg::kStationNumber] != *e.station) {
        wrong
            << QStringLiteral("station %1, not %2").arg(regs[Reg::kStationNumber]).arg(*e.station);
    }
    if (e.rate && !configured) {
        const int index = regs[Reg::kRs485Baud];
        const int rate = index < 4 ? kRs485Rates[index] : 0;
        if (rate != *e.rate) {
            wrong << QStringLiteral("RS-485 rate index %1, not %2 baud").arg(index).arg(*e.rate);
        }
    }
    if (e.mode && regs[Reg::kConversionMode] != *e.mode) {
        wrong << QStringLiteral("conversion mode %1, not %2")
                     .arg(regs[Reg::kConversionMode])
                     .arg(*e.mode);
    }
    if (e.firmwareVersion && regs[Reg::kVersion] != *e.firmwareVersion) {
        wrong << QStringLiteral("firmware %1, not %2")
                     .arg(regs[Reg::kVersion] / 100.0, 0, 'f', 2)
                     .arg(*e.firmwareVersion / 100.0, 0, 'f', 2);
    }
    if (!wrong.isEmpty()) {
        record.verdict = Verdict::Fail;
        record.message = wrong.join(QStringLiteral("; "));
    }
    return record;
}
