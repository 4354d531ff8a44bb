// vr7c flash against stm32flash on the same simulated line: the carried image written into the
// simulated module at 115200 baud, without and with verification, best of three runs each,
// beside the wire time of vr7c's exchange. Prints the times and their ratios.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "SimRunner.h"
#include "Stm32Bootloader.h"

namespace {

constexpr double kBaud = 115200.0;
constexpr double kBitsPerCharacter = 11.0;
constexpr int kRuns = 3;

// Seconds one program run takes against a fresh simulated module; negative on failure.
double TimeOnce(const QString& program, QStringList args) {
    vr7c::sim::SimOptions options;
    options.baud = 115200;
    options.bootloaderFactory = [] { return std::make_unique<vr7c::sim::Stm32Bootloader>(); };
    vr7c::sim::SimRunner sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "cli_flash_bench: simulator did not start: %s\n", error.c_str());
        return -1;
    }
    args << QString::fromStdString(sim.path());
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, args);
    if (!process.waitForFinished(120'000) || process.exitCode() != 0) {
        std::fprintf(stderr, "cli_flash_bench: %s failed\n", qPrintable(program));
        return -1;
    }
    return static_cast<double>(clock.elapsed()) / 1000.0;
}

double Best(const QString& program, const QStringList& args) {
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        const double t = TimeOnce(program, args);
        if (t < 0) {
            return -1;
        }
        best = best < 0 ? t : std::min(best, t);
    }
    return best;
}

// Characters on the line, both directions, of vr7c's exchange for an image of `size`.
long Characters(long size, bool verify) {
    long characters = 1 + 1 + (2 + 15) + (2 + 5);  // synchronisation, Get, Get ID
    characters += 2 + 1 + 5 + 1 + 2 + 1 + 20;      // Read Memory of the identity registers
    characters += 2 + 1 + (size / 1024 + 3) + 1;   // Erase Memory and its page list
    for (long left = size; left > 0; left -= 256) {
        const long n = std::min(left, 256L);
        characters += 2 + 1 + 5 + 1 + (n + 2) + 1;  // Write Memory
        if (verify) {
            characters += 2 + 1 + 5 + 1 + 2 + 1 + n;  // Read Memory
        }
    }
    return characters;
}

// The simulated chip's erase and programming time for an image of `size`, in seconds.
double ChipSeconds(long size) {
    const vr7c::sim::Stm32BootloaderTiming chip;
    const long pages = size / 1024 + 1;
    return static_cast<double>(pages * chip.pageErase) / 1e6 +
           static_cast<double>((size + 1) / 2) * static_cast<double>(chip.halfWordProgramNanos) /
               1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString vr7c = QStringLiteral(VR7C_PATH);
    const QString image = QStringLiteral(VR7C_IMAGE);
    const QString stm32flash = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
    if (stm32flash.isEmpty()) {
        std::fprintf(stderr, "cli_flash_bench: stm32flash is not installed\n");
        return 1;
    }
    QFile file(image);
    const long size = file.open(QIODevice::ReadOnly) ? static_cast<long>(file.size()) : 0;
    const QStringList peer = {"-b", "115200", "-m", "8n1", "-w", image};
    std::printf("image %ld bytes at 115200 baud, best of %d runs each\n", size, kRuns);
    for (const bool verify : {false, true}) {
        QStringList peerArgs = peer;
        QStringList ours = {"flash", "--port"};
        if (verify) {
            peerArgs << QStringLiteral("-v");
            ours.insert(1, QStringLiteral("--verify"));
        }
        QStringList oursNoPause = ours;
        oursNoPause.insert(1, QStringLiteral("--reset-pause=0"));
        const double p = Best(stm32flash, peerArgs);
        const double v = Best(vr7c, ours);
        const double v0 = Best(vr7c, oursNoPause);
        const double wire =
            static_cast<double>(Characters(size, verify)) * kBitsPerCharacter / kBaud;
        if (p < 0 || v < 0 || v0 < 0) {
            return 1;
        }
        std::printf("\n%s\n", verify ? "write and verify" : "write");
        std::printf("  stm32flash %-3s                   %.3f s\n", verify ? "-v" : "", p);
        std::printf(
            "  vr7c flash%s                  %.3f s  ratio %.3f (with the 1.5 s DTR/RTS "
            "sequence)\n",
            verify ? " --verify" : "         ", v, v / p);
        std::printf("  vr7c flash%s --reset-pause=0  %.3f s  ratio %.3f\n",
                    verify ? " --verify" : "         ", v0, v0 / p);
        const double line = wire + ChipSeconds(size);
        std::printf(
            "  wire time of vr7c's exchange %.3f s, with the chip's erase and programming "
            "%.3f s; vr7c without pauses / that %.3f\n",
            wire, line, v0 / line);
    }
    return 0;
}
