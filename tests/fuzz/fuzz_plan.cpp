// The plan reader over any text: a plan it accepts has steps, limits the right way round,
// quantities inside the polled registers and writes only to writable registers.
#include <cstdlib>

#include "Plan.h"
#include "RegisterNumbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    PlanError error;
    const auto plan = ParsePlan(text, {}, &error);
    if (!plan) {
        if (error.message.isEmpty()) {
            std::abort();
        }
        return 0;
    }
    if (plan->steps.empty() || plan->name.isEmpty()) {
        std::abort();
    }
    for (const PlanStep& step : plan->steps) {
        const Limits& l = step.limits;
        if (step.kind == StepKind::Measure &&
            (l.low > l.high || step.samples < 1 || step.quantity.index < 0 ||
             step.quantity.index >= kPolledRegisters ||
             (l.marginalLow && (*l.marginalLow < l.low || *l.marginalLow > l.high)))) {
            std::abort();
        }
        if (step.kind == StepKind::Write &&
            (step.reg < Reg::kWritableFirst || step.reg > Reg::kWritableLast)) {
            std::abort();
        }
        if (step.kind == StepKind::Command && step.argv.isEmpty()) {
            std::abort();
        }
    }
    return 0;
}
