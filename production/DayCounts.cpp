#include "DayCounts.h"

#include <map>

DayCounts CountDay(const std::vector<RunRecord>& runs) {
    struct Unit {
        QDateTime first;
        QDateTime last;
        bool firstPassed = false;
        bool lastPassed = false;
    };
    std::map<QString, Unit> units;
    for (const RunRecord& r : runs) {
        if (r.result == Verdict::Running) {
            continue;
        }
        const bool passed = Passed(r.result);
        auto [it, added] = units.try_emplace(r.serial, Unit{r.started, r.started, passed, passed});
        Unit& u = it->second;
        if (!added && r.started < u.first) {
            u.first = r.started;
            u.firstPassed = passed;
        }
        if (!added && r.started >= u.last) {
            u.last = r.started;
            u.lastPassed = passed;
        }
    }
    DayCounts counts;
    for (const auto& [serial, u] : units) {
        ++counts.units;
        counts.passed += u.lastPassed;
        counts.failed += !u.lastPassed;
        counts.firstPass += u.firstPassed;
    }
    return counts;
}
