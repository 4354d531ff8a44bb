#pragma once

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

#include "RunRecord.h"

// The line's statistics as the station draws them, from finished runs: units and first-pass
// yield per day, and one measurement's values with their spread against its limits.

struct DayYield {
    QDate day;  // UTC
    int units = 0;
    int firstPass = 0;
};

// Per day from `first` to `last`, each day present (no units: 0). A unit counts on the day of its
// first run.
std::vector<DayYield> YieldPerDay(const std::vector<RunRecord>& runs, QDate first, QDate last);

struct MeasuredValue {
    QDateTime when;
    double value = 0;
};

struct MeasurementSeries {
    QString name;
    QString unit;
    double low = 0;
    double high = 0;
    std::vector<MeasuredValue> values;  // oldest first
    double mean = 0;
    double deviation = 0;       // sample standard deviation; 0 below two values
    std::optional<double> cpk;  // needs a deviation above 0
};

// The names of the measurements in the runs, in the order first met.
std::vector<QString> MeasurementNames(const std::vector<RunRecord>& runs);
// Every value of the named measurement with its mean, deviation and Cpk against the limits of
// the newest run that has it.
MeasurementSeries SeriesOf(const std::vector<RunRecord>& runs, const QString& name);

// Counts of the values in `bins` equal bins from `from` to `to`; values outside go to the end
// bins.
std::vector<int> Histogram(const MeasurementSeries& series, double from, double to, int bins);
