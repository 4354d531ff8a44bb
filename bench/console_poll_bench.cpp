// The console's polling cycle with its real timers and real serial port, against the simulated
// module (a separate vr7c-sim process, so that this process's CPU time is the console's alone)
// at 9600, 19200, 38400 and 57600 baud. For each rate it prints the good polls per second
// against the limit the 30 ms tick allows, the ticks that came late, and the CPU used.
//
// The limit: the request goes out on a tick; the reply is complete after the wire time of the
// 8 request bytes and the 205 reply bytes (11 bits a byte), the simulator's frame silence and
// its latency; it is taken on the first tick after that, and the next request goes out on the
// tick after. Ratios are printed, nothing is asserted.
//
// console_poll_bench [seconds per rate] [path of vr7c-sim] [one baud rate only, for profiling]
//                    [console | monitor | trend]
// The last argument chooses what watches the polling besides the main window: nothing, the
// traffic monitor open and following, or the trend shown and following with an hour of history.
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
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
#include <vector>

#include "ComPorts.h"
#include "ConsoleBench.h"
#include "EventDispatcher.h"
#include "LineDiagnostics.h"
#include "Main.h"
#include "PollingCycle.h"
#include "Prompter.h"
#include "SimTime.h"
#include "TTrafficMonitor.h"
#include "TTrendFrm.h"

namespace {

constexpr int kTickMs = PollingCycle::kTickIntervalMs;
constexpr int kRequestBytes = 8;
constexpr int kReplyBytes = 205;
constexpr int kLatencyMs = 2;
// A tick more than this much after the one before counts as late; one that comes later than
// half a tick counts as lost, since the cycle it belonged to has then slipped.
constexpr double kLateSlackMs = 5.0;
constexpr double kLostSlackMs = kTickMs / 2.0;
constexpr int kWarmUpMs = 2000;
constexpr double kFastestPollsPerSecond = 11.11;
constexpr std::int64_t kHourMs = 3'600'000;

enum class Watcher { None, Monitor, Trend };

struct Rate {
    int index;  // in the baud-rate list
    std::uint32_t baud;
};
constexpr std::array kRates = {Rate{0, 9600}, Rate{1, 19200}, Rate{2, 38400}, Rate{3, 57600}};

// Records when each Timer1 tick starts, before the window's handler runs.
class TickRecorder final : public QObject {
public:
    explicit TickRecorder(const QElapsedTimer& clock) : clock_(clock) {}
    bool recording = false;
    std::vector<double> startsMs;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (recording && event->type() == QEvent::Timer) {
            startsMs.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
        }
        return false;
    }

private:
    const QElapsedTimer& clock_;
};

struct Result {
    double limit = 0;
    double pollsPerSecond = 0;
    int expectedTick = 0;
    double meanTick = 0;
    int ticks = 0;
    int late = 0;
    int lost = 0;
    double longestTickMs = 0;
    double cpuPercent = 0;
    double cpuPerPollUs = 0;
    double systemShare = 0;  // of the CPU time, the kernel's
    double wakeUpsPerSecond = 0;
    double portRefreshUs = 0;            // CPU of one listing of the serial devices
    bool portWatchWhilePolling = false;  // the once-a-second listing ran while connected
    bool ran = false;
};

// The tick, counted from the request's, on which the reply can first be taken.
int TicksToReply(std::uint32_t baud) {
    const vr7c::sim::LineTiming timing{baud};
    const double completeMs =
        static_cast<double>(timing.charactersTime(kRequestBytes + kReplyBytes) +
                            timing.frameSilence()) /
            1000.0 +
        kLatencyMs;
    return static_cast<int>(completeMs / kTickMs) + 1;
}

Result Measure(const Rate& rate, int seconds, const QString& simPath, Prompter& prompter,
               const QString& settingsPath, Watcher watcher) {
    Result result;
    result.expectedTick = TicksToReply(rate.baud);
    result.limit = 1000.0 / (kTickMs * (result.expectedTick + 1));

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, {QStringLiteral("--baud"), QString::number(rate.baud),
                        QStringLiteral("--latency"), QString::number(kLatencyMs)});
    if (!sim.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(simPath));
        return result;
    }
    while (!sim.canReadLine() && sim.waitForReadyRead(5000)) {
    }
    const QByteArray line = sim.readLine().trimmed();
    if (line.isEmpty()) {
        std::fprintf(stderr, "vr7c-sim printed no line path\n");
        sim.kill();
        sim.waitForFinished();
        return result;
    }
    qputenv("VR7C_COM1", line);

    MainFormOptions options;
    options.prompter = &prompter;
    options.settingsPath = settingsPath;
    TMainForm form(std::move(options));
    form.show();
    form.ComboBox1->setCurrentIndex(0);
    form.EX_Baud->setCurrentIndex(rate.index);
    form.EX_Addr->setCurrentIndex(1);

    QElapsedTimer clock;
    clock.start();
    TickRecorder ticks(clock);
    form.Timer1.installEventFilter(&ticks);
    bool counting = false;
    int polls = 0;
    long tickSum = 0;
    QObject::connect(form.Edit4, &QLineEdit::textChanged, [&] {
        if (counting) {
            ++polls;
            tickSum += form.Polling().WaitTicks;
        }
    });

    // The window listed the devices once when it was made; these look again with nothing new.
    constexpr int kRefreshes = 20;
    const double refreshBefore = CpuSeconds();
    for (int i = 0; i < kRefreshes; ++i) {
        form.Ports().Refresh();
    }
    result.portRefreshUs = 1e6 * (CpuSeconds() - refreshBefore) / kRefreshes;

    TTrendFrm trend(form.RegisterImage);
    if (watcher == Watcher::Trend) {
        const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
        const auto hourSamples = static_cast<int>(kFastestPollsPerSecond * 3600);
        for (int i = 0; i < hourSamples; ++i) {
            trend.TakeGoodReply(now - kHourMs + i * kHourMs / hourSamples);
        }
        QObject::connect(&form, &TMainForm::GoodReplyTaken, &trend,
                         [&] { trend.TakeGoodReply(QDateTime::currentMSecsSinceEpoch()); });
    }

    form.SpeedButton1->click();
    if (form.SpeedButton1->isChecked()) {
        if (watcher == Watcher::Monitor) {
            form.Line().Monitor().ShowPage(TTrafficMonitor::kTrafficPage);
        } else if (watcher == Watcher::Trend) {
            trend.show();
        }
        Wait(kWarmUpMs);
        counting = true;
        ticks.recording = true;
        const CpuUse useBefore = CpuUseNow();
        const qint64 startNs = clock.nsecsElapsed();
        Wait(seconds * 1000);
        const double wall = static_cast<double>(clock.nsecsElapsed() - startNs) / 1e9;
        const CpuUse useAfter = CpuUseNow();
        const double cpu = useAfter.Seconds() - useBefore.Seconds();
        result.portWatchWhilePolling = form.PortWatch.isActive();
        counting = false;
        ticks.recording = false;
        form.SpeedButton1->click();

        result.ran = true;
        result.pollsPerSecond = polls / wall;
        result.meanTick = polls > 0 ? static_cast<double>(tickSum) / polls : 0;
        result.ticks = static_cast<int>(ticks.startsMs.size());
        for (std::size_t i = 1; i < ticks.startsMs.size(); ++i) {
            const double gap = ticks.startsMs[i] - ticks.startsMs[i - 1];
            result.longestTickMs = std::max(result.longestTickMs, gap);
            result.late += gap > kTickMs + kLateSlackMs ? 1 : 0;
            result.lost += gap > kTickMs + kLostSlackMs ? 1 : 0;
        }
        result.cpuPercent = 100.0 * cpu / wall;
        result.cpuPerPollUs = polls > 0 ? 1e6 * cpu / polls : 0;
        result.systemShare = cpu > 0 ? (useAfter.system - useBefore.system) / cpu : 0;
        result.wakeUpsPerSecond = static_cast<double>(useAfter.wakeUps - useBefore.wakeUps) / wall;
    }
    sim.terminate();
    if (!sim.waitForFinished(5000)) {
        sim.kill();
        sim.waitForFinished();
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The same event dispatcher as the program.
    UseLeanEventDispatcher();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 20;
    const QString simPath =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(VR7C_SIM_PATH);
    QTemporaryDir settingsDir;
    PrintingPrompter prompter;

    std::printf(
        "console polling over vr7c-sim (latency %d ms), %d s per rate after %d ms "
        "warm-up; late: tick gap > %.0f ms, lost: > %.0f ms\n",
        kLatencyMs, seconds, kWarmUpMs, kTickMs + kLateSlackMs, kTickMs + kLostSlackMs);
    std::printf("%6s %8s %8s %6s %11s %6s %5s %5s %8s %7s %9s\n", "baud", "limit/s", "polls/s",
                "ratio", "reply tick", "ticks", "late", "lost", "max gap", "CPU %", "CPU/poll");
    const std::uint32_t onlyBaud = argc > 3 ? static_cast<std::uint32_t>(std::atol(argv[3])) : 0;
    const QString watcherName =
        argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("console");
    const Watcher watcher = watcherName == QLatin1String("monitor") ? Watcher::Monitor
                            : watcherName == QLatin1String("trend") ? Watcher::Trend
                                                                    : Watcher::None;
    if (watcher == Watcher::None && watcherName != QLatin1String("console")) {
        std::fprintf(stderr, "watcher must be console, monitor or trend, not %s\n", argv[4]);
        return 2;
    }
    const double idleWakeUpUs = IdleWakeUpMicroseconds();
    int failures = 0;
    for (const Rate& rate : kRates) {
        if (onlyBaud != 0 && rate.baud != onlyBaud) {
            continue;
        }
        const Result r = Measure(rate, seconds, simPath, prompter,
                                 settingsDir.filePath(QStringLiteral("settings.ini")), watcher);
        if (!r.ran) {
            std::printf("%6u not measured\n", rate.baud);
            ++failures;
            continue;
        }
        std::printf("%6u %8.2f %8.2f %6.3f %4d/%6.2f %6d %5d %5d %5.1f ms %7.2f %6.0f us\n",
                    rate.baud, r.limit, r.pollsPerSecond, r.pollsPerSecond / r.limit,
                    r.expectedTick, r.meanTick, r.ticks, r.late, r.lost, r.longestTickMs,
                    r.cpuPercent, r.cpuPerPollUs);
        std::printf("       kernel %.0f%% of the CPU time, %.1f wake-ups a second\n",
                    100.0 * r.systemShare, r.wakeUpsPerSecond);
        std::printf(
            "       a thread woken as often and doing nothing else: %.2f%% of one core "
            "(%.0f us a wake-up)\n",
            r.wakeUpsPerSecond * idleWakeUpUs / 1e4, idleWakeUpUs);
        std::printf(
            "       serial device listing: %.0f us CPU each, about once a second "
            "while no port is open; while polling: %s\n",
            r.portRefreshUs, r.portWatchWhilePolling ? "RUNNING" : "off");
        std::fflush(stdout);
    }
    std::printf(
        "reply tick: the tick after the request on which the reply can first be "
        "taken / the mean tick it was taken on\n");
    std::printf("CPU %%: this process (the console alone) in per cent of one core\n");
    return failures == 0 ? 0 : 1;
}
