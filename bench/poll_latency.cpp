// Read-poll latency over the simulated module at 57600 baud: the time from SendReadRequest to
// TakeReadReply accepting the reply, against the wire time of the 213 bytes (8 request bytes
// and 205 reply bytes at 11 bits each). Also counts heap allocations made inside the driver
// and the Modbus routines while polling, which should be none.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "MODBUS_RTU.h"
#include "RegisterMap.h"
#include "SimRunner.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

namespace {

// Allocations are counted only while the current thread is inside a measured call.
thread_local bool g_counting = false;
std::atomic<long> g_allocations{0};

struct CountScope {
    CountScope() { g_counting = true; }
    ~CountScope() { g_counting = false; }
};

}  // namespace

void* operator new(std::size_t size) {
    if (g_counting) {
        ++g_allocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int polls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;

    vr7c::sim::SimOptions options;
    options.baud = 57600;
    vr7c::sim::SimRunner sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }

    // Station 1 in mode "PC-UART" on the real serial port.
    VEVErizEvezad driver;
    RegisterImageWords image{};
    RtuMaster master(
        driver, systemClock(), image, [] { return std::uint8_t{1}; }, [] { return false; });
    if (!driver.Open(sim.path(), br57600)) {
        std::fprintf(stderr, "cannot open %s\n", sim.path().c_str());
        return 1;
    }
    // The accepting test runs right after each receive poll, as early as the console could.
    bool accepted = false;
    driver.SetOnReceiveData([&](VEVErizEvezad*, const void*, std::int32_t) {
        accepted = accepted || master.TakeReadReply(0);
    });
    // The receive polls run from this program's own 5 ms timer instead of the driver's, so that
    // the allocations inside each of them are counted.
    driver.SetComPortPollingDelay(60000);
    QTimer receivePoll;
    receivePoll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&receivePoll, &QTimer::timeout, [&] {
        CountScope scope;
        driver.PollReceive();
    });
    receivePoll.start(5);

    std::vector<double> times;
    int lost = 0;
    QEventLoop loop;
    for (int i = 0; i < polls + 5; ++i) {
        accepted = false;
        QElapsedTimer t;
        t.start();
        {
            CountScope scope;
            master.SendReadRequest(0, 100, 3);
        }
        while (!accepted && t.elapsed() < 1000) {
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (!accepted) {
            ++lost;
            continue;
        }
        if (i >= 5) {  // the first polls warm up buffers
            times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        if (i == 4) {
            g_allocations = 0;
        }
    }
    if (times.empty()) {
        std::fprintf(stderr, "no reply taken\n");
        return 1;
    }
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double v : times) {
        sum += v;
    }
    const double mean = sum / static_cast<double>(times.size());
    const double wireMs = 213.0 * 11.0 * 1000.0 / 57600.0;
    std::printf("polls %zu, lost %d\n", times.size(), lost);
    std::printf("wire time of 213 bytes at 57600 8E1: %.1f ms\n", wireMs);
    std::printf("request to reply taken: median %.1f ms, mean %.1f ms, max %.1f ms\n",
                times[times.size() / 2], mean, times.back());
    std::printf("ratio to wire time: median %.2f, mean %.2f\n", times[times.size() / 2] / wireMs,
                mean / wireMs);
    std::printf("heap allocations in the driver and Modbus routines while polling: %ld\n",
                g_allocations.load());
    return 0;
}
