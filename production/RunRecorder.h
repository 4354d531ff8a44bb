#pragma once

#include <functional>

#include "RecordStore.h"
#include "Runner.h"

// Puts each step on record as it ends, then tells whoever shows the run.
class RunRecorder : public RunObserver {
public:
    using Shown = std::function<void(const RunRecord&, const StepRecord&)>;
    RunRecorder(RecordStore& store, Shown shown = {}) : store_(store), shown_(std::move(shown)) {}

    // Told as each step starts, for a progress line.
    std::function<void(const PlanStep&, int seq)> starting;

    void StepStarted(const PlanStep& step, int seq) override {
        if (starting) {
            starting(step, seq);
        }
    }
    bool StepFinished(const RunRecord& run, const StepRecord& step) override {
        const bool kept = store_.AddStep(run, step, &error_);
        if (shown_) {
            shown_(run, step);
        }
        return kept;
    }
    // Why the last record could not be written.
    const QString& error() const { return error_; }

private:
    RecordStore& store_;
    Shown shown_;
    QString error_;
};
