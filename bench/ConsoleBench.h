#pragma once

#include <sys/resource.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "Prompter.h"

// What the console benchmarks share.

// How this process has used the processor so far: user and kernel seconds, and the times it
// went to sleep waiting (voluntary context switches, its wake-ups).
struct CpuUse {
    double user = 0;
    double system = 0;
    long wakeUps = 0;

    double Seconds() const { return user + system; }
};

inline CpuUse CpuUseNow() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return {static_cast<double>(usage.ru_utime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
            static_cast<double>(usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_stime.tv_usec) / 1e6,
            usage.ru_nvcsw};
}

// CPU time (user and system) this process has used so far, in seconds.
inline double CpuSeconds() {
    return CpuUseNow().Seconds();
}

// The CPU time one wake-up of a thread that does nothing else costs on this machine, in
// microseconds: the floor under a program that is woken some times a second. The thread
// sleeps intervalMs at a time, about as long as the console sleeps between its timers.
inline double IdleWakeUpMicroseconds(int intervalMs = 30, int wakeUps = 50) {
    const auto threadSeconds = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    };
    const double before = threadSeconds();
    for (int i = 0; i < wakeUps; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    return (threadSeconds() - before) / wakeUps * 1e6;
}

// Runs the event loop for this long, so that the console's timers fire as they would.
inline void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Message boxes are printed instead of shown; none is expected.
class PrintingPrompter final : public Prompter {
public:
    void ShowMessage(QWidget*, MessageIcon, const QString& caption, const QString& text) override {
        std::fprintf(stderr, "message box \"%s\": %s\n", qPrintable(caption), qPrintable(text));
    }
    void ShowModal(QDialog&) override {}
};
