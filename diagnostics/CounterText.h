#pragma once

#include <QString>

#include <vector>

#include "LineCounters.h"

// One row of the counters view: what is counted and its value, both in words.
struct CounterRow {
    QString name;
    QString value;
};

// The counters as the operator reads them, with the good polls a second against the limit
// of the polling cycle.
std::vector<CounterRow> CounterRows(const LineCounters& counters, double pollsPerSecond,
                                    double pollLimit);
