#pragma once

#include <QElapsedTimer>
#include <QTest>

#include <functional>

// Runs the event loop until the condition holds or the time is up; gives whether it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}
