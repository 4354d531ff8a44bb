// The runner taking a fake unit through plans: verdicts, skipping, expectations.
#include <gtest/gtest.h>

#include "FakeUnit.h"
#include "Plan.h"
#include "Runner.h"

namespace {

Plan MustParse(const char* body) {
    PlanError error;
    auto plan = ParsePlan(QByteArray("name = \"p\"\nrevision = 1\n") + body, {}, &error);
    EXPECT_TRUE(plan) << error.message.toStdString();
    return plan.value_or(Plan{});
}

std::vector<Verdict> Verdicts(const std::vector<StepRecord>& steps) {
    std::vector<Verdict> v;
    for (const auto& s : steps) {
        v.push_back(s.verdict);
    }
    return v;
}

struct MeasureCase {
    std::vector<std::int32_t> polls;  // channel 0's acquired value, 1e-5 mV, poll by poll
    Verdict verdict;
};

// Limits 9.98 to 10.02 mV, marginal inside 9.99 to 10.01, spread at most 0.004.
const MeasureCase kMeasureCases[] = {
    {{1000000, 1000000, 1000000}, Verdict::Pass},
    {{998000, 998000, 998000}, Verdict::Marginal},  // on the low limit: still inside
    {{997999, 997999, 997999}, Verdict::Fail},
    {{1001500, 1001500, 1001500}, Verdict::Marginal},
    {{1002001, 1002001, 1002001}, Verdict::Fail},
    {{999700, 1000000, 1000300}, Verdict::Fail},      // mean good, spread 0.006
    {{999900, 1000000, 1000100}, Verdict::Pass},      // spread 0.002
    {{-2000000, -2000000, -2000000}, Verdict::Fail},  // a negative pair reads as negative
};

TEST(Runner, MeasureJudgesTheMeanOfTheSamplesAndTheirSpread) {
    const Plan plan = MustParse(
        "[[step]]\nkind = \"measure\"\nquantity = \"channel.0.acquired\"\nsamples = 3\n"
        "low = 9.98\nhigh = 10.02\nmarginal_low = 9.99\nmarginal_high = 10.01\nspread = 0.004\n"
        "unit = \"mV\"\n");
    for (const MeasureCase& c : kMeasureCases) {
        SCOPED_TRACE(c.polls[0]);
        FakeUnit unit;
        unit.beforePoll = [&](int poll, std::uint16_t*) {
            unit.SetAcquired(0, c.polls[static_cast<std::size_t>(poll)]);
        };
        KeptSteps kept;
        RunRecord run;
        Runner(plan, unit, kept).Run(run);
        ASSERT_EQ(run.steps.size(), 1u);
        EXPECT_EQ(run.steps[0].verdict, c.verdict);
        ASSERT_TRUE(run.steps[0].measurement);
        EXPECT_EQ(run.steps[0].measurement->samples.size(), 3u);
        EXPECT_EQ(run.result, c.verdict);
    }
}

TEST(Runner, StepsAfterAFailureAreSkippedUnlessThePlanContinues) {
    const char* steps =
        "[[step]]\nkind = \"command\"\nrun = [\"relay\", \"on\"]\n"
        "[[step]]\nkind = \"write\"\nregister = 30\nvalue = 250\n"
        "[[step]]\nkind = \"measure\"\nquantity = \"channel.0.setpoint\"\nlow = 25\nhigh = 25\n";
    for (bool continues : {false, true}) {
        const Plan plan = MustParse(
            (QByteArray(continues ? "continue_on_fail = true\n" : "") + steps).constData());
        FakeUnit unit;
        unit.outcomes[QStringLiteral("command relay on")] = UnitOutcome::Failed("exit 1");
        KeptSteps kept;
        RunRecord run;
        Runner(plan, unit, kept).Run(run);
        EXPECT_EQ(run.result, Verdict::Fail);
        const std::vector<Verdict> expected =
            continues ? std::vector<Verdict>{Verdict::Fail, Verdict::Pass, Verdict::Pass}
                      : std::vector<Verdict>{Verdict::Fail, Verdict::Skipped, Verdict::Skipped};
        EXPECT_EQ(Verdicts(kept.steps), expected);
    }
}

TEST(Runner, AnErrorStopsTheRunEvenWhenThePlanContinuesOnFailure) {
    const Plan plan = MustParse(
        "continue_on_fail = true\n"
        "[[step]]\nkind = \"measure\"\nquantity = \"version\"\nsamples = 2\nlow = 1\nhigh = 2\n"
        "[[step]]\nkind = \"wait\"\nms = 100\n");
    FakeUnit unit;
    unit.outcomes[QStringLiteral("read")] = UnitOutcome::Broken(6, "no reply from station 1");
    KeptSteps kept;
    RunRecord run;
    Runner runner(plan, unit, kept);
    runner.Run(run);
    EXPECT_EQ(run.result, Verdict::Error);
    EXPECT_EQ(runner.errorCode(), 6);
    EXPECT_EQ(unit.polls, 3);  // two samples, and as many polls again may go wrong
    EXPECT_EQ(Verdicts(kept.steps), (std::vector<Verdict>{Verdict::Error, Verdict::Skipped}));
    EXPECT_FALSE(unit.actions.contains(QStringLiteral("wait")));
}

TEST(Runner, UnitsAndModesAndOperatorAnswersDecide) {
    struct Case {
        const char* body;
        std::uint16_t mode;
        PromptAnswer answer;
        Verdict result;
    };
    const Case cases[] = {
        // Limits in mV, but the module is in PT100 mode and reads ohms.
        {"[[step]]\nkind = \"measure\"\nquantity = \"channel.0.acquired\"\nlow = -1\nhigh = 1\n"
         "unit = \"mV\"\n",
         1, PromptAnswer::Confirmed, Verdict::Fail},
        {"[[step]]\nkind = \"measure\"\nquantity = \"channel.0.acquired\"\nlow = -1\nhigh = 1\n"
         "unit = \"Ω\"\n",
         1, PromptAnswer::Confirmed, Verdict::Pass},
        {"[[step]]\nkind = \"prompt\"\ntext = \"LED green?\"\n", 0, PromptAnswer::Declined,
         Verdict::Fail},
        {"[[step]]\nkind = \"prompt\"\ntext = \"LED green?\"\n", 0, PromptAnswer::Gone,
         Verdict::Aborted},
        {"[expect]\nmode = \"load_cell\"\n[[step]]\nkind = \"wait\"\nms = 1\n", 0,
         PromptAnswer::Confirmed, Verdict::Fail},
        {"[expect]\nmode = \"load_cell\"\n[[step]]\nkind = \"wait\"\nms = 1\n", 2,
         PromptAnswer::Confirmed, Verdict::Pass},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        FakeUnit unit;
        unit.regs[Reg::kConversionMode] = c.mode;
        unit.answer = c.answer;
        KeptSteps kept;
        RunRecord run;
        Runner(MustParse(c.body), unit, kept).Run(run);
        EXPECT_EQ(run.result, c.result);
    }
}

TEST(Runner, ExpectationsAreCheckedAfterTheLastFlashAndConfigAndTheChipIsKept) {
    const Plan plan = MustParse(
        "[expect]\nfirmware = \"1.50\"\nstation = 3\n"
        "[[step]]\nkind = \"wait\"\nms = 500\n[[step]]\nkind = \"flash\"\n"
        "[[step]]\nkind = \"wait\"\nms = 500\n");
    FakeUnit unit;
    unit.regs[Reg::kVersion] = 150;
    unit.regs[Reg::kStationNumber] = 4;
    KeptSteps kept;
    RunRecord run;
    Runner(plan, unit, kept).Run(run);
    ASSERT_EQ(kept.steps.size(), 4u);
    EXPECT_EQ(kept.steps[2].name, QStringLiteral("expect"));
    EXPECT_EQ(kept.steps[2].verdict, Verdict::Fail);
    EXPECT_EQ(kept.steps[2].message, QStringLiteral("station 4, not 3"));
    EXPECT_EQ(kept.steps[3].verdict, Verdict::Skipped);
    EXPECT_EQ(run.chipId, QStringLiteral("0123456789abcdef01234567"));
    EXPECT_EQ(run.firmwareVersion, QStringLiteral("1.50"));
    EXPECT_EQ(run.durationMs, 500);  // the fake clock moved by the one wait that ran
}

}  // namespace
