// vr7c flash with fixture slots: four simulated modules flashed and verified at once by one
// vr7c, against one module alone, in alternating rounds of one run. Prints both times and the
// ratio of four to one (the aim is at most 1.3).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "SimRunner.h"
#include "Stm32Bootloader.h"

namespace {

constexpr int kRounds = 3;
constexpr int kSlots = 4;

// Seconds one vr7c run takes to flash and verify `units` fresh simulated modules; negative on
// failure.
double FlashAtOnce(int units) {
    std::vector<std::unique_ptr<vr7c::sim::SimRunner>> sims;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QStringList args = {"flash", "--verify"};
    for (int i = 0; i < units; ++i) {
        vr7c::sim::SimOptions options;
        options.baud = 115200;
        options.bootloaderFactory = [] { return std::make_unique<vr7c::sim::Stm32Bootloader>(); };
        sims.push_back(std::make_unique<vr7c::sim::SimRunner>(options));
        std::string error;
        if (!sims.back()->start(&error)) {
            std::fprintf(stderr, "cli_slots_bench: simulator did not start: %s\n", error.c_str());
            return -1;
        }
        // COM5 to COM8 stand for the simulators, as the fixture's adapters would.
        const QString com = QStringLiteral("COM%1").arg(5 + i);
        environment.insert(QStringLiteral("VR7C_") + com,
                           QString::fromStdString(sims.back()->path()));
        args << QStringLiteral("--port") << com;
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VR7C_PATH), args);
    if (!process.waitForFinished(300'000) || process.exitCode() != 0) {
        std::fprintf(stderr, "cli_slots_bench: vr7c failed: %s\n",
                     process.readAllStandardError().constData());
        return -1;
    }
    return static_cast<double>(clock.elapsed()) / 1000.0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<double> one;
    std::vector<double> four;
    std::printf(
        "carried image, flashed and verified at 115200 baud, with the 1.5 s DTR/RTS "
        "sequence; %d rounds taken in turn\n",
        kRounds);
    for (int round = 0; round < kRounds; ++round) {
        const double a = FlashAtOnce(1);
        const double b = FlashAtOnce(kSlots);
        if (a < 0 || b < 0) {
            return 1;
        }
        one.push_back(a);
        four.push_back(b);
        std::printf("  round %d: one slot %.3f s, %d slots %.3f s, ratio %.3f\n", round + 1, a,
                    kSlots, b, b / a);
    }
    const double m1 = Median(one);
    const double m4 = Median(four);
    std::printf("median: one slot %.3f s, %d slots %.3f s, ratio %.3f (aim: at most 1.3)\n", m1,
                kSlots, m4, m4 / m1);
    return 0;
}
