#pragma once

#include <vector>

#include "RunRecord.h"

// What the station shows of a day's runs: units tested, of them passed and failed at their
// last run, and the first-pass yield (units that passed at their first run that day).
struct DayCounts {
    int units = 0;
    int passed = 0;
    int failed = 0;
    int firstPass = 0;
    // 0 to 100; 0 with no units.
    double FirstPassYield() const { return units > 0 ? 100.0 * firstPass / units : 0; }
};

// From the day's finished runs in any order; runs still going are left out.
DayCounts CountDay(const std::vector<RunRecord>& runs);
