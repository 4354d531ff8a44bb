// Network lines against local ones, in one run on the same machine: the console polling at
// 57600 baud on the simulator's pseudo-terminal directly, through ser2net raw TCP and through
// ser2net RFC 2217 (alternating rounds, the simulator in a process of its own so that this
// process's CPU time is the console's alone); then `vr7c flash --verify` on the
// pseudo-terminal against the same flash through ser2net RFC 2217, fresh simulator each time.
// ser2net runs as a user wanting low latency sets it up: chardelay off, tcp(nodelay).
//
// net_bench [seconds per round] [rounds]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "ConsoleBench.h"
#include "LoopbackPort.h"
#include "Main.h"
#include "SimRunner.h"
#include "Stm32Bootloader.h"
#include "TcpConnect.h"

namespace {

// The 30 ms cycle at 57600 baud: the reply can be taken on the second tick after the request
// (console_poll_bench works this out), the next request goes on the tick after.
constexpr double kCycleLimit = 1000.0 / (30.0 * 3);

void Stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

// ser2net in front of `device`; gives the URL of the line, empty when it did not start.
QString StartSer2net(QProcess& process, const QTemporaryDir& dir, const std::string& device,
                     bool rfc2217) {
    const std::uint16_t port = FreeLoopbackPort();
    const std::string conf = dir.filePath("ser2net.yaml").toStdString();
    std::ofstream(conf) << "connection: &line\n  accepter: "
                        << (rfc2217 ? "telnet(rfc2217),tcp(nodelay)" : "tcp(nodelay)")
                        << ",127.0.0.1," << port << "\n  connector: serialdev," << device
                        << ",57600e81,local\n  options:\n    chardelay: false\n";
    process.start("ser2net", {"-d", "-u", "-c", QString::fromStdString(conf), "-P",
                              dir.filePath("ser2net.pid")});
    if (!process.waitForStarted(3000)) {
        return {};
    }
    for (int i = 0; i < 300; ++i) {
        const vr7c::net::ConnectResult c =
            vr7c::net::TcpConnect("127.0.0.1", port, std::chrono::milliseconds(100));
        if (c.fd >= 0) {
            ::close(c.fd);
            return QStringLiteral("%1://127.0.0.1:%2").arg(rfc2217 ? "rfc2217" : "tcp").arg(port);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

struct Polling {
    double pollsPerSecond = 0;
    double cpuPercent = 0;
};

// The console polling COM1 for `seconds`, COM1 standing for `line`.
Polling Poll(const QString& line, int seconds, Prompter& prompter, const QString& settings) {
    qputenv("VR7C_COM1", line.toLocal8Bit());
    MainFormOptions options;
    options.prompter = &prompter;
    options.settingsPath = settings;
    TMainForm form(std::move(options));
    form.show();
    form.ComboBox1->setCurrentIndex(0);
    form.EX_Baud->setCurrentIndex(3);
    form.EX_Addr->setCurrentIndex(1);
    int polls = 0;
    bool counting = false;
    QObject::connect(form.Edit4, &QLineEdit::textChanged, [&] { polls += counting ? 1 : 0; });
    Polling result;
    form.SpeedButton1->click();
    if (!form.SpeedButton1->isChecked()) {
        return result;
    }
    Wait(2000);
    counting = true;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = CpuSeconds();
    Wait(seconds * 1000);
    const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    result.cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / wall;
    result.pollsPerSecond = polls / wall;
    form.SpeedButton1->click();
    return result;
}

// Seconds `vr7c flash --verify` takes on a fresh simulator, directly or through RFC 2217.
double Flash(bool rfc2217) {
    vr7c::sim::SimOptions options;
    options.baud = 115200;
    options.bootloaderFactory = [] { return std::make_unique<vr7c::sim::Stm32Bootloader>(); };
    vr7c::sim::SimRunner sim(options);
    QTemporaryDir dir;
    QProcess ser2net;
    if (!sim.start()) {
        return -1;
    }
    const QString port =
        rfc2217 ? StartSer2net(ser2net, dir, sim.path(), true) : QString::fromStdString(sim.path());
    QProcess vr7c;
    QElapsedTimer clock;
    clock.start();
    vr7c.start(QStringLiteral(VR7C_PATH), {"flash", "--verify", "--port", port});
    const bool ok = vr7c.waitForFinished(120'000) && vr7c.exitCode() == 0;
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    if (rfc2217) {
        Stop(ser2net);
    }
    return ok ? seconds : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("console.ini"));
    PrintingPrompter prompter;

    const char* kNames[] = {"pseudo-terminal", "ser2net raw TCP", "ser2net RFC 2217"};
    std::vector<double> polls[3];
    std::vector<double> cpu[3];
    for (int round = 0; round < rounds; ++round) {
        for (int kind = 0; kind < 3; ++kind) {
            QProcess sim;
            sim.setStandardErrorFile(QProcess::nullDevice());
            sim.start(QStringLiteral(VR7C_SIM_PATH), {"--baud", "57600", "--latency", "2"});
            if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
                std::fprintf(stderr, "net_bench: vr7c-sim did not start\n");
                return 1;
            }
            const std::string pty = sim.readLine().trimmed().toStdString();
            QProcess ser2net;
            const QString line = kind == 0 ? QString::fromStdString(pty)
                                           : StartSer2net(ser2net, dir, pty, kind == 2);
            if (line.isEmpty()) {
                std::fprintf(stderr, "net_bench: ser2net did not start\n");
                return 1;
            }
            const Polling p = Poll(line, seconds, prompter, settings);
            polls[kind].push_back(p.pollsPerSecond);
            cpu[kind].push_back(p.cpuPercent);
            if (kind != 0) {
                Stop(ser2net);
            }
            Stop(sim);
        }
    }
    std::printf("console polling at 57600 baud, %d rounds of %d s (median); cycle limit %.2f/s\n",
                rounds, seconds, kCycleLimit);
    std::printf("%-18s %8s %8s %12s %10s\n", "line", "polls/s", "ratio", "CPU % core", "+ points");
    for (int kind = 0; kind < 3; ++kind) {
        std::printf("%-18s %8.2f %8.3f %12.2f %+10.2f\n", kNames[kind], Median(polls[kind]),
                    Median(polls[kind]) / kCycleLimit, Median(cpu[kind]),
                    Median(cpu[kind]) - Median(cpu[0]));
    }

    std::vector<double> local;
    std::vector<double> remote;
    for (int round = 0; round < 2; ++round) {
        local.push_back(Flash(false));
        remote.push_back(Flash(true));
    }
    const double bestLocal = *std::min_element(local.begin(), local.end());
    const double bestRemote = *std::min_element(remote.begin(), remote.end());
    if (bestLocal < 0 || bestRemote < 0) {
        std::fprintf(stderr, "net_bench: a flash failed\n");
        return 1;
    }
    std::printf(
        "vr7c flash --verify, best of 2: pseudo-terminal %.3f s, ser2net RFC 2217 %.3f s, "
        "ratio %.3f\n",
        bestLocal, bestRemote, bestRemote / bestLocal);
    return 0;
}
