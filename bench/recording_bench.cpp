// What the recorder and the trend window cost the polling console: the real console polls
// vr7c-sim (its own process) at 57600 baud while, in turn, nothing extra runs, a recording is
// written, and the trend window is shown following with an hour of history. The three are
// measured in alternating windows of the same run and connection, so that the machine's load
// falls on all of them alike. Prints CPU (per cent of one core), good polls per second and
// lost ticks for each, their differences to the plain console, and the memory a full
// twenty-four hours of trend history takes. Nothing is asserted.
//
// recording_bench [seconds per window] [rounds] [path of vr7c-sim]
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "ConsoleBench.h"
#include "Main.h"
#include "PollingCycle.h"
#include "Prompter.h"
#include "TRecorderFrm.h"
#include "TTrendFrm.h"
#include "TrendHistory.h"

namespace {

constexpr int kBaudIndex57600 = 3;
constexpr int kTickMs = PollingCycle::kTickIntervalMs;
constexpr double kLostGapMs = kTickMs * 1.5;
constexpr double kFastestPollsPerSecond = 11.11;
constexpr std::int64_t kHourMs = 3'600'000;

// Counts Timer1's ticks that come more than half a tick late.
class LostTicks final : public QObject {
public:
    int lost = 0;
    void Reset() {
        lost = 0;
        clock_.start();
        last_ = -1;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer) {
            const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
            lost += last_ >= 0 && now - last_ > kLostGapMs ? 1 : 0;
            last_ = now;
        }
        return false;
    }

private:
    QElapsedTimer clock_;
    double last_ = -1;
};

struct Tally {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    int polls = 0;
    int lost = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString simPath =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(VR7C_SIM_PATH);

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, {QStringLiteral("--baud"), QStringLiteral("57600")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(simPath));
        return 1;
    }
    qputenv("VR7C_COM1", sim.readLine().trimmed());

    QTemporaryDir dir;
    PrintingPrompter prompter;
    MainFormOptions options;
    options.prompter = &prompter;
    options.settingsPath = dir.filePath(QStringLiteral("settings.ini"));
    TMainForm form(std::move(options));
    form.show();
    form.EX_Baud->setCurrentIndex(kBaudIndex57600);
    TRecorderFrm recorder(prompter, form.SettingsPath(), form.RegisterImage);
    recorder.SetFolder(dir.filePath(QStringLiteral("records")));
    TTrendFrm trend(form.RegisterImage);
    // An hour of history at the fastest poll rate before the measured polls join it.
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const auto hourSamples = static_cast<int>(kFastestPollsPerSecond * 3600);
    for (int i = 0; i < hourSamples; ++i) {
        trend.TakeGoodReply(now - kHourMs + i * kHourMs / hourSamples);
    }
    int polls = 0;
    QObject::connect(&form, &TMainForm::GoodReplyTaken, &form, [&] {
        ++polls;
        recorder.TakeGoodReply(form.Polling().GoodPolls);
        trend.TakeGoodReply(QDateTime::currentMSecsSinceEpoch());
    });
    LostTicks ticks;
    form.Timer1.installEventFilter(&ticks);
    form.SpeedButton1->click();
    if (!form.SpeedButton1->isChecked()) {
        return 1;
    }
    Wait(2000);

    const std::array<const char*, 3> names = {"plain console", "recording", "trend shown"};
    std::array<Tally, 3> tallies{};
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t mode = 0; mode < names.size(); ++mode) {
            if (mode == 1) {
                recorder.StartRecording();
            } else if (mode == 2) {
                trend.show();
            }
            Wait(500);
            polls = 0;
            ticks.Reset();
            const double cpu = CpuSeconds();
            QElapsedTimer wall;
            wall.start();
            Wait(seconds * 1000);
            Tally& tally = tallies[mode];
            tally.cpuSeconds += CpuSeconds() - cpu;
            tally.wallSeconds += static_cast<double>(wall.nsecsElapsed()) / 1e9;
            tally.polls += polls;
            tally.lost += ticks.lost;
            recorder.StopRecording();
            trend.hide();
        }
    }
    form.SpeedButton1->click();
    sim.terminate();
    sim.waitForFinished(5000);

    std::printf("57600 baud, %d rounds of %d s per case, alternating\n", rounds, seconds);
    std::printf("%-14s %8s %8s %9s %10s %6s\n", "case", "CPU %", "+points", "polls/s", "ratio",
                "lost");
    const double plainCpu = 100.0 * tallies[0].cpuSeconds / tallies[0].wallSeconds;
    const double plainRate = tallies[0].polls / tallies[0].wallSeconds;
    for (std::size_t mode = 0; mode < names.size(); ++mode) {
        const Tally& t = tallies[mode];
        const double cpu = 100.0 * t.cpuSeconds / t.wallSeconds;
        const double rate = t.polls / t.wallSeconds;
        std::printf("%-14s %8.2f %+8.2f %9.2f %10.3f %6d\n", names[mode], cpu, cpu - plainCpu, rate,
                    rate / plainRate, t.lost);
    }

    TrendHistory day;
    TrendHistory::Sample sample{};
    const auto daySamples = static_cast<std::int64_t>(kFastestPollsPerSecond * 24 * 3600);
    for (std::int64_t i = 0; i < daySamples; ++i) {
        day.Append(i * 90, sample);
    }
    std::printf(
        "trend history for 24 h at %.2f polls/s: %zu samples kept (capacity %zu), %.1f MB\n",
        kFastestPollsPerSecond, day.Size(), day.Capacity(),
        static_cast<double>(day.MemoryBytes()) / (1024.0 * 1024.0));
    return 0;
}
