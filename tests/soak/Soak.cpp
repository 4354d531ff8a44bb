// vr7c-soak [seconds] [percent] [seed]: the real console window, on its real serial port and
// real timers, polls the simulated module at 57600 baud for the given time (default one hour)
// while the given percentage of replies (default 5) is spoilt in random ways. After every good
// poll the register image is compared with the reply the simulator sent under the sequence
// number in register 97, and that reply must have left the simulator intact. Exits non-zero on
// an image from a spoilt reply, a mismatch, a message box, a stall or memory growth.
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "Main.h"
#include "Prompter.h"
#include "RegisterMap.h"
#include "SimRunner.h"

namespace {

using vr7c::sim::FaultKind;
using vr7c::sim::SimOptions;
using vr7c::sim::SimRunner;

constexpr int kComparedRegisters = 100;
constexpr int kSequenceRegister = 97;
// The faults spread over the replies, each with an equal share of the percentage.
constexpr std::array kSoakFaults = {
    FaultKind::BadCrc, FaultKind::NoiseBefore, FaultKind::NoiseAfter, FaultKind::Split,
    FaultKind::Drop,   FaultKind::Slow,        FaultKind::Exception,  FaultKind::Silence};
// Memory is judged from the end of the warm-up, when fonts, the window's backing store and the
// driver's buffers exist.
constexpr double kWarmUpShare = 1.0 / 6.0;
constexpr qint64 kWarmUpMaxMs = 60'000;
// Growth allowed after the warm-up. It includes the simulator's record of the last 4096 replies
// sent (about 0.8 MB), which fills during the first minutes. The address sanitizer keeps freed
// blocks in quarantine and so grows for a while by itself; the bound is wider there.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kRssGrowthLimitKb = 96 * 1024;
#else
constexpr long kRssGrowthLimitKb = 8 * 1024;
#endif
// A good poll at least this often: with a few per cent of spoilt replies a gap this long means
// the polling has stopped.
constexpr qint64 kStallLimitMs = 30'000;

long RssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    // Files under /proc show no size, so the whole text is read at once.
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Message boxes are counted and printed instead of shown; none is expected.
class CountingPrompter final : public Prompter {
public:
    int messages = 0;
    void ShowMessage(QWidget*, MessageIcon, const QString& caption, const QString& text) override {
        ++messages;
        std::fprintf(stderr, "soak: message box \"%s\": %s\n", qPrintable(caption),
                     qPrintable(text));
    }
    void ShowModal(QDialog&) override {}
};

struct Tally {
    long goodPolls = 0;
    long fromSpoiltReply = 0;
    long mismatches = 0;
    long unknownSequence = 0;
    qint64 longestGapMs = 0;
    qint64 lastGoodAtMs = 0;
};

// Compares the register image just taken with the reply the simulator sent under its sequence.
void CheckGoodPoll(const SimRunner& sim, const RegisterImageWords& image, Tally& tally,
                   qint64 nowMs) {
    ++tally.goodPolls;
    tally.longestGapMs = std::max(tally.longestGapMs, nowMs - tally.lastGoodAtMs);
    tally.lastGoodAtMs = nowMs;
    const std::uint16_t sequence = image[kSequenceRegister];
    const auto sent = sim.sentReadReply(sequence);
    if (!sent) {
        ++tally.unknownSequence;
        ++tally.mismatches;
        std::fprintf(stderr, "soak: poll %ld: no reply with sequence %u was sent\n",
                     tally.goodPolls, sequence);
        return;
    }
    if (!std::equal(sent->image.begin(), sent->image.begin() + kComparedRegisters, image.begin())) {
        ++tally.mismatches;
        std::fprintf(stderr, "soak: poll %ld: image differs from reply %u\n", tally.goodPolls,
                     sequence);
    }
    if (!sent->intact) {
        ++tally.fromSpoiltReply;
        std::fprintf(stderr, "soak: poll %ld: image taken from spoilt reply %u\n", tally.goodPolls,
                     sequence);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3600;
    const double percent = argc > 2 ? std::clamp(std::atof(argv[2]), 0.0, 100.0) : 5.0;
    const auto seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10)
                               : static_cast<unsigned long long>(std::time(nullptr));
    const long rssAtStart = RssKb();

    QApplication app(argc, argv);
    QTemporaryDir settingsDir;

    SimOptions simOptions;
    simOptions.baud = 57600;
    simOptions.seed = seed;
    for (FaultKind kind : kSoakFaults) {
        simOptions.faults.push_back({kind, percent / static_cast<double>(kSoakFaults.size())});
    }
    SimRunner sim(simOptions);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "soak: simulator: %s\n", error.c_str());
        return 1;
    }
    qputenv("VR7C_COM1", QByteArray::fromStdString(sim.path()));

    CountingPrompter prompter;
    MainFormOptions formOptions;
    formOptions.prompter = &prompter;
    formOptions.settingsPath = settingsDir.filePath(QStringLiteral("settings.ini"));
    TMainForm form(std::move(formOptions));
    form.show();
    form.ComboBox1->setCurrentIndex(0);
    form.EX_Baud->setCurrentIndex(3);
    form.EX_Addr->setCurrentIndex(1);

    std::printf("soak: %d s at 57600 baud, %.2f%% of replies spoilt, seed %llu, line %s\n", seconds,
                percent, seed, sim.path().c_str());
    std::fflush(stdout);

    QElapsedTimer clock;
    Tally tally;
    // Edit4 shows the good-poll count and changes with every good poll, right after the reply
    // has been copied into the register image.
    QObject::connect(form.Edit4, &QLineEdit::textChanged,
                     [&] { CheckGoodPoll(sim, form.RegisterImage, tally, clock.elapsed()); });

    const qint64 durationMs = qint64{seconds} * 1000;
    const qint64 warmUpMs =
        std::min(kWarmUpMaxMs, static_cast<qint64>(static_cast<double>(durationMs) * kWarmUpShare));
    long rssAfterWarmUp = -1;
    double cpuAfterWarmUp = 0;
    QTimer::singleShot(warmUpMs, Qt::PreciseTimer, &form, [&] {
        rssAfterWarmUp = RssKb();
        cpuAfterWarmUp = CpuSeconds(RUSAGE_SELF);
    });

    const int progressMs = seconds >= 600 ? 60'000 : 10'000;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        std::printf("soak: %4lld s: %ld good polls, %llu faults injected, RSS %ld kB\n",
                    clock.elapsed() / 1000, tally.goodPolls,
                    static_cast<unsigned long long>(sim.counters().faultsInjected()), RssKb());
        std::fflush(stdout);
    });
    progress.start(progressMs);

    long consoleGoodPolls = 0;
    QTimer::singleShot(durationMs, Qt::PreciseTimer, &form, [&] {
        consoleGoodPolls = form.Polling().GoodPolls;
        form.SpeedButton1->click();
        app.quit();
    });

    clock.start();
    tally.lastGoodAtMs = 0;
    form.SpeedButton1->click();
    if (!form.SpeedButton1->isChecked()) {
        std::fprintf(stderr, "soak: the console did not connect to %s\n", sim.path().c_str());
        return 1;
    }
    app.exec();
    const double wallSeconds = static_cast<double>(clock.elapsed()) / 1000.0;
    tally.longestGapMs = std::max(tally.longestGapMs, clock.elapsed() - tally.lastGoodAtMs);

    const double cpuProcess = CpuSeconds(RUSAGE_SELF);
    const double cpuConsole = CpuSeconds(RUSAGE_THREAD);
    const long rssAtEnd = RssKb();
    const auto counters = sim.counters();
    sim.stop();

    const double measuredSeconds = wallSeconds - static_cast<double>(warmUpMs) / 1000.0;
    std::printf("soak: ran %.1f s\n", wallSeconds);
    std::printf("  good polls:                 %ld (console count %ld, %.2f per second)\n",
                tally.goodPolls, consoleGoodPolls,
                static_cast<double>(tally.goodPolls) / wallSeconds);
    std::printf("  read requests seen:         %llu\n",
                static_cast<unsigned long long>(counters.requestsSeen()));
    std::printf("  faults injected:            %llu (",
                static_cast<unsigned long long>(counters.faultsInjected()));
    for (std::size_t i = 0; i < kSoakFaults.size(); ++i) {
        std::printf("%s%s %llu", i == 0 ? "" : ", ",
                    std::string(vr7c::sim::faultName(kSoakFaults[i])).c_str(),
                    static_cast<unsigned long long>(counters.faultsInjected(kSoakFaults[i])));
    }
    std::printf(")\n");
    std::printf("  images from spoilt replies: %ld\n", tally.fromSpoiltReply);
    std::printf("  mismatches:                 %ld (unknown sequence %ld)\n", tally.mismatches,
                tally.unknownSequence);
    std::printf("  message boxes:              %d\n", prompter.messages);
    std::printf("  longest gap between polls:  %lld ms\n", tally.longestGapMs);
    std::printf(
        "  RSS: start %ld kB, after warm-up (%.0f s) %ld kB, end %ld kB, growth %ld kB "
        "(limit %ld kB)\n",
        rssAtStart, static_cast<double>(warmUpMs) / 1000.0, rssAfterWarmUp, rssAtEnd,
        rssAtEnd - rssAfterWarmUp, kRssGrowthLimitKb);
    std::printf(
        "  CPU: %.2f s in all (simulator thread included), %.2f s on the console's "
        "thread; %.2f%% of one core after warm-up\n",
        cpuProcess, cpuConsole,
        100.0 * (cpuProcess - cpuAfterWarmUp) / std::max(measuredSeconds, 0.001));

    bool failed = false;
    const auto fail = [&](const char* why) {
        std::printf("soak: FAILED: %s\n", why);
        failed = true;
    };
    if (tally.goodPolls == 0) {
        fail("no good poll");
    }
    if (tally.goodPolls != consoleGoodPolls) {
        fail("the check did not run on every good poll");
    }
    if (tally.fromSpoiltReply != 0) {
        fail("image taken from a spoilt reply");
    }
    if (tally.mismatches != 0) {
        fail("image differs from the reply sent");
    }
    if (prompter.messages != 0) {
        fail("message box shown");
    }
    if (tally.longestGapMs > kStallLimitMs) {
        fail("polling stalled");
    }
    if (rssAfterWarmUp < 0 || rssAtEnd < 0 || rssAtEnd - rssAfterWarmUp > kRssGrowthLimitKb) {
        fail("memory grew");
    }
    if (!failed) {
        std::printf("soak: passed\n");
    }
    return failed ? 1 : 0;
}
