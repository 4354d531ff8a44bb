#include <gtest/gtest.h>

#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

#include "RegisterMap.h"
#include "RegisterNumbers.h"
#include "TTrendFrm.h"

namespace {

// The value axis beside the measured lines.
QValueAxis* ValueAxis(const TTrendFrm& trend) {
    for (QAbstractAxis* axis : trend.MeasuredSeries(0)->attachedAxes()) {
        if (axis->orientation() == Qt::Vertical) {
            return static_cast<QValueAxis*>(axis);
        }
    }
    return nullptr;
}

}  // namespace

TEST(Trend, EachRedrawShowsTheNewValuesAndWidensTheAxisForThem) {
    RegisterImageWords image{};
    TTrendFrm trend(image);
    // Temperatures in tenths of a degree; the history so far spans from 0 (the other
    // channels) to the highest value given.
    const struct {
        std::uint16_t measured;
        double highest;
    } steps[] = {{200, 20.0}, {3000, 300.0}, {250, 300.0}};
    std::int64_t msecs = 1'000'000;
    for (const auto& step : steps) {
        image[Reg::kMeasuredFirst] = step.measured;
        trend.TakeGoodReply(msecs += 1000);
        trend.Redraw();
        double drawnHighest = 0;
        for (const QPointF& point : trend.MeasuredSeries(0)->points()) {
            drawnHighest = std::max(drawnHighest, point.y());
        }
        EXPECT_DOUBLE_EQ(drawnHighest, step.highest);
        const QValueAxis* axis = ValueAxis(trend);
        ASSERT_NE(axis, nullptr);
        EXPECT_LE(axis->min(), 0.0);
        EXPECT_GE(axis->max(), step.highest);
    }
}
