#include "LineStats.h"

#include <algorithm>
#include <cmath>
#include <map>

std::vector<DayYield> YieldPerDay(const std::vector<RunRecord>& runs, QDate first, QDate last) {
    std::map<QString, const RunRecord*> firstRun;
    for (const RunRecord& r : runs) {
        if (r.result == Verdict::Running) {
            continue;
        }
        auto [it, added] = firstRun.try_emplace(r.serial, &r);
        if (!added && r.started < it->second->started) {
            it->second = &r;
        }
    }
    std::vector<DayYield> days;
    for (QDate d = first; d.isValid() && d <= last; d = d.addDays(1)) {
        days.push_back({d, 0, 0});
    }
    for (const auto& [serial, r] : firstRun) {
        const qint64 k = first.daysTo(r->started.toUTC().date());
        if (k >= 0 && k < static_cast<qint64>(days.size())) {
            ++days[static_cast<std::size_t>(k)].units;
            days[static_cast<std::size_t>(k)].firstPass += Passed(r->result);
        }
    }
    return days;
}

std::vector<QString> MeasurementNames(const std::vector<RunRecord>& runs) {
    std::vector<QString> names;
    for (const RunRecord& r : runs) {
        for (const StepRecord& s : r.steps) {
            if (s.measurement && !s.measurement->samples.empty() &&
                std::find(names.begin(), names.end(), s.name) == names.end()) {
                names.push_back(s.name);
            }
        }
    }
    return names;
}

MeasurementSeries SeriesOf(const std::vector<RunRecord>& runs, const QString& name) {
    MeasurementSeries series;
    series.name = name;
    QDateTime newest;
    for (const RunRecord& r : runs) {
        if (r.result == Verdict::Running) {
            continue;
        }
        for (const StepRecord& s : r.steps) {
            if (s.name != name || !s.measurement || s.measurement->samples.empty()) {
                continue;
            }
            series.values.push_back({r.started, s.measurement->mean});
            if (!newest.isValid() || r.started > newest) {
                newest = r.started;
                series.unit = s.measurement->unit;
                series.low = s.measurement->limits.low;
                series.high = s.measurement->limits.high;
            }
        }
    }
    std::sort(series.values.begin(), series.values.end(),
              [](const MeasuredValue& a, const MeasuredValue& b) { return a.when < b.when; });
    const auto n = static_cast<double>(series.values.size());
    if (series.values.empty()) {
        return series;
    }
    double sum = 0;
    for (const MeasuredValue& v : series.values) {
        sum += v.value;
    }
    series.mean = sum / n;
    if (series.values.size() > 1) {
        double squares = 0;
        for (const MeasuredValue& v : series.values) {
            squares += (v.value - series.mean) * (v.value - series.mean);
        }
        series.deviation = std::sqrt(squares / (n - 1));
    }
    if (series.deviation > 0) {
        series.cpk =
            std::min(series.high - series.mean, series.mean - series.low) / (3 * series.deviation);
    }
    return series;
}

std::vector<int> Histogram(const MeasurementSeries& series, double from, double to, int bins) {
    std::vector<int> counts(static_cast<std::size_t>(std::max(bins, 1)), 0);
    const double width = (to - from) / static_cast<double>(counts.size());
    for (const MeasuredValue& v : series.values) {
        const double k = width > 0 ? std::floor((v.value - from) / width) : 0;
        const auto last = static_cast<double>(counts.size() - 1);
        ++counts[static_cast<std::size_t>(std::clamp(k, 0.0, last))];
    }
    return counts;
}
