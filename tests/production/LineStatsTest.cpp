// The line's statistics the station draws: yield per day by each unit's first run, and a
// measurement's mean, deviation, Cpk and histogram.
#include <gtest/gtest.h>

#include "LineStats.h"

namespace {

RunRecord UnitRun(const char* serial, const char* when, Verdict result, double value) {
    RunRecord r;
    r.serial = QString::fromLatin1(serial);
    r.started = QDateTime::fromString(QString::fromLatin1(when), Qt::ISODate);
    r.result = result;
    StepRecord s;
    s.name = QStringLiteral("CH0 10mV");
    s.measurement = MeasurementRecord{};
    s.measurement->samples = {value};
    s.measurement->mean = value;
    s.measurement->unit = QStringLiteral("mV");
    s.measurement->limits.low = 9.0;
    s.measurement->limits.high = 11.0;
    r.steps.push_back(s);
    return r;
}

TEST(LineStats, YieldCountsEachUnitOnTheDayOfItsFirstRun) {
    const std::vector<RunRecord> runs = {
        UnitRun("A", "2026-12-01T08:00:00Z", Verdict::Fail, 10.0),
        UnitRun("A", "2026-12-02T08:00:00Z", Verdict::Pass, 10.2),  // a retest: not a first pass
        UnitRun("B", "2026-12-02T09:00:00Z", Verdict::Marginal, 9.8),
        UnitRun("C", "2026-12-02T10:00:00Z", Verdict::Running, 0),  // still going: left out
    };
    const auto days = YieldPerDay(runs, QDate(2026, 11, 30), QDate(2026, 12, 2));
    ASSERT_EQ(days.size(), 3u);
    const int expected[][2] = {{0, 0}, {1, 0}, {1, 1}};
    for (std::size_t k = 0; k < days.size(); ++k) {
        EXPECT_EQ(days[k].units, expected[k][0]) << k;
        EXPECT_EQ(days[k].firstPass, expected[k][1]) << k;
    }
    const MeasurementSeries s = SeriesOf(runs, QStringLiteral("CH0 10mV"));
    ASSERT_EQ(s.values.size(), 3u);
    EXPECT_NEAR(s.mean, 10.0, 1e-12);
    EXPECT_NEAR(s.deviation, 0.2, 1e-12);
    EXPECT_NEAR(*s.cpk, 1.0 / 0.6, 1e-9);  // (11 - 10) / (3 * 0.2)
    // Values outside the bins land in the end ones.
    EXPECT_EQ(Histogram(s, 9.7, 10.1, 2), (std::vector<int>{1, 2}));
    EXPECT_FALSE(SeriesOf({runs[0]}, QStringLiteral("CH0 10mV")).cpk);
}

}  // namespace
