#pragma once

#include <sys/resource.h>

#include <QEventLoop>
#include <QTimer>

#include <cstdio>

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
