// What the line diagnostics cost the polling cycle: the console polls the simulated module
// (a separate vr7c-sim process) at 57600 baud in three ways, taken in turn for several
// rounds so that the machine's load falls on all three alike:
//   off     the traffic tap and the receive hook removed, the status entry not refreshed
//           (what the console did without the diagnostics);
//   closed  recording, monitor window closed;
//   open    recording, monitor window open and following the traffic.
// For each it prints good polls a second against the cycle's limit and the CPU share of one
// core; then the differences to "off". Nothing is asserted.
//
// line_diagnostics_bench [seconds per run] [rounds] [path of vr7c-sim]
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "ConsoleBench.h"
#include "LineDiagnostics.h"
#include "MODBUS_RTU.h"
#include "Main.h"
#include "Prompter.h"
#include "TTrafficMonitor.h"

namespace {

constexpr std::uint32_t kBaud = 57600;
constexpr int kBaudIndex = 3;
constexpr int kWarmUpMs = 2000;

enum class Mode { Off, Closed, Open };
constexpr std::array kModes = {Mode::Off, Mode::Closed, Mode::Open};
const char* const kModeNames[] = {"off", "closed", "open"};

struct Run {
    double pollsPerSecond = 0;
    double cpuPercent = 0;
    int frames = 0;
    bool ran = false;
};

Run Measure(Mode mode, int seconds, const QString& simPath, const QString& settingsPath) {
    Run run;
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, {QStringLiteral("--baud"), QString::number(kBaud)});
    if (!sim.waitForStarted(5000)) {
        return run;
    }
    while (!sim.canReadLine() && sim.waitForReadyRead(5000)) {
    }
    qputenv("VR7C_COM1", sim.readLine().trimmed());

    PrintingPrompter prompter;
    MainFormOptions options;
    options.prompter = &prompter;
    options.settingsPath = settingsPath;
    TMainForm form(std::move(options));
    form.show();
    form.EX_Baud->setCurrentIndex(kBaudIndex);
    int polls = 0;
    bool counting = false;
    QObject::connect(form.Edit4, &QLineEdit::textChanged, [&] { polls += counting ? 1 : 0; });
    form.SpeedButton1->click();
    if (form.SpeedButton1->isChecked()) {
        if (mode == Mode::Off) {
            form.Master().SetTrafficTap(nullptr);
            form.ComDriver().SetOnReceiveData({});
            form.Line().LineClosed();
        } else if (mode == Mode::Open) {
            form.Line().Monitor().ShowPage(TTrafficMonitor::kTrafficPage);
        }
        Wait(kWarmUpMs);
        counting = true;
        const double cpuBefore = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        Wait(seconds * 1000);
        const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        run.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / elapsed;
        run.pollsPerSecond = polls / elapsed;
        run.frames = form.Line().Ring().Size();
        run.ran = true;
        counting = false;
        form.SpeedButton1->click();
    }
    sim.terminate();
    if (!sim.waitForFinished(5000)) {
        sim.kill();
        sim.waitForFinished();
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 15;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString simPath =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(VR7C_SIM_PATH);
    QTemporaryDir dir;
    const double limit = CycleLimitPollsPerSecond(kBaud);

    std::printf("line diagnostics at %u baud, %d s a run, %d rounds; cycle limit %.2f polls/s\n",
                kBaud, seconds, rounds, limit);
    std::printf("%6s %6s %8s %6s %7s\n", "round", "mode", "polls/s", "ratio", "CPU %");
    std::array<double, 3> cpu{};
    std::array<double, 3> ratio{};
    int frames = 0;
    for (int round = 1; round <= rounds; ++round) {
        for (std::size_t m = 0; m < kModes.size(); ++m) {
            const Run r =
                Measure(kModes[m], seconds, simPath, dir.filePath(QStringLiteral("settings.ini")));
            if (!r.ran) {
                std::printf("%6d %6s not measured\n", round, kModeNames[m]);
                return 1;
            }
            cpu[m] += r.cpuPercent / rounds;
            ratio[m] += r.pollsPerSecond / limit / rounds;
            frames = std::max(frames, r.frames);
            std::printf("%6d %6s %8.2f %6.3f %7.2f\n", round, kModeNames[m], r.pollsPerSecond,
                        r.pollsPerSecond / limit, r.cpuPercent);
            std::fflush(stdout);
        }
    }
    std::printf(
        "mean: off %.2f%% (ratio %.3f), closed %.2f%% (ratio %.3f), open %.2f%% (ratio %.3f)\n",
        cpu[0], ratio[0], cpu[1], ratio[1], cpu[2], ratio[2]);
    std::printf("monitor closed: %+.2f points of one core; open and following: %+.2f points\n",
                cpu[1] - cpu[0], cpu[2] - cpu[0]);
    const TrafficRing ring;
    std::printf("ring: %d frames of %zu bytes, %.2f MB; %d frames recorded in the longest run\n",
                ring.Capacity(), sizeof(TrafficFrame),
                static_cast<double>(ring.MemoryBytes()) / 1e6, frames);
    return 0;
}
