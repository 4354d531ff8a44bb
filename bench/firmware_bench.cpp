// Firmware download benchmark: the console's bootloader session writing the carried image into
// the simulated module at 115200 baud, against stm32flash writing the same image to the same
// simulator and against the wire time of the whole exchange.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

#include "BootloaderSession.h"
#include "FirmwareImage.h"
#include "SimRunner.h"
#include "Stm32Bootloader.h"
#include "ZQ_ComDrv.h"

namespace {

using vr7c::sim::SimRunner;
using vr7c::sim::Stm32Bootloader;

constexpr double kBaud = 115200.0;
constexpr double kBitsPerCharacter = 11.0;  // start, 8 data, even parity, stop

std::unique_ptr<SimRunner> StartSimulator() {
    vr7c::sim::SimOptions options;
    options.baud = 115200;
    options.bootloaderFactory = [] { return std::make_unique<Stm32Bootloader>(); };
    auto runner = std::make_unique<SimRunner>(options);
    std::string error;
    if (!runner->start(&error)) {
        std::fprintf(stderr, "firmware_bench: simulator did not start: %s\n", error.c_str());
        return nullptr;
    }
    return runner;
}

// Notes when the session reports completion or failure.
class TimingView final : public BootloaderView {
public:
    QElapsedTimer clock;
    qint64 doneAtMs = -1;
    bool succeeded = false;

    int SelectedPortIndex() const override { return 0; }
    void SetStatusText(const QString& text) override {
        if (text == BootloaderText::kUploadComplete || text == BootloaderText::kConnectionFailed) {
            doneAtMs = clock.elapsed();
            succeeded = text == BootloaderText::kUploadComplete;
        }
    }
    void SetProgress(int position) override { progress_ = position; }
    int Progress() const override { return progress_; }
    void ShowMessage(const QString&, const QString& text) override {
        std::fprintf(stderr, "firmware_bench: %s\n", qPrintable(text));
    }

private:
    int progress_ = 0;
};

// Start button to "上载完成！", in seconds; negative when the download failed.
double TimeConsoleSession(const std::string& path) {
    qputenv("VR7C_COM1", QByteArray::fromStdString(path));
    VEVErizEvezad driver;
    TimingView view;
    BootloaderSession session(driver, view, systemClock());
    view.clock.start();
    session.Start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!session.Timer5.isActive() && !session.OvertimeT.isActive()) {
            loop.quit();
        }
    });
    check.start(50);
    loop.exec();
    return view.succeeded ? static_cast<double>(view.doneAtMs) / 1000.0 : -1.0;
}

// stm32flash writing the image (no verify, as the console does not verify), in seconds.
double TimeStm32flash(const std::string& path, const QString& imagePath) {
    const QString stm32flash = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
    if (stm32flash.isEmpty()) {
        return -1.0;
    }
    QProcess flasher;
    QElapsedTimer clock;
    clock.start();
    flasher.start(stm32flash, {QStringLiteral("-b"), QStringLiteral("115200"), QStringLiteral("-m"),
                               QStringLiteral("8n1"), QStringLiteral("-w"), imagePath,
                               QString::fromStdString(path)});
    if (!flasher.waitForFinished(120'000) || flasher.exitCode() != 0) {
        return -1.0;
    }
    return static_cast<double>(clock.elapsed()) / 1000.0;
}

// Characters on the line, both directions, for the session's exchange with an image of `size`.
long ExchangeCharacters(long size) {
    long characters = 1 + 1;                      // synchronisation byte, ACK
    characters += 2 + 15;                         // Get
    characters += 2 + 5;                          // Get ID
    characters += 2 + 1 + 5 + 1 + 2 + 5;          // Read Memory: command, address, count and data
    characters += 2 + 1 + (size / 1024 + 3) + 1;  // Erase Memory: command, page list
    for (long left = size; left > 0; left -= 256) {
        const long n = left < 256 ? left : 256;
        characters += 2 + 1 + 5 + 1 + (n + 2) + 1;  // Write Memory: command, address, data
    }
    return characters;
}

// The simulated chip's erase and programming time for an image of `size`, in seconds.
double ChipSeconds(long size) {
    const vr7c::sim::Stm32BootloaderTiming chip;
    const long pages = size / 1024 + 1;
    const double erase = static_cast<double>(pages * chip.pageErase) / 1e6;
    const double program =
        static_cast<double>((size + 1) / 2) * static_cast<double>(chip.halfWordProgramNanos) / 1e9;
    return erase + program;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!LoadFirmwareImage()) {
        std::fprintf(stderr, "firmware_bench: no carried image\n");
        return 1;
    }
    const long size = FirmwareImageSize();

    auto sessionSim = StartSimulator();
    if (!sessionSim) {
        return 1;
    }
    const double session = TimeConsoleSession(sessionSim->path());
    sessionSim.reset();

    auto flasherSim = StartSimulator();
    if (!flasherSim) {
        return 1;
    }
    // stm32flash gets the carried image as a file.
    QTemporaryFile image;
    if (!image.open()) {
        return 1;
    }
    image.write(reinterpret_cast<const char*>(IspBuffer.ImageBuffer), size);
    image.flush();
    const double flasher = TimeStm32flash(flasherSim->path(), image.fileName());
    flasherSim.reset();

    const double wire = static_cast<double>(ExchangeCharacters(size)) * kBitsPerCharacter / kBaud;
    const double pauses = 2 * BootloaderSession::kLinePauseMs / 1000.0;
    std::printf("image                      %ld bytes at 115200 baud 8E1\n", size);
    if (session < 0) {
        std::printf("console session            failed\n");
        return 1;
    }
    std::printf("console session            %.3f s (start button to completion)\n", session);
    std::printf("  of which line sequence   %.3f s\n", pauses);
    std::printf("wire time of the exchange  %.3f s\n", wire);
    std::printf("chip erase and programming %.3f s\n", ChipSeconds(size));
    std::printf("ratio session / wire       %.2f (%.2f without the line sequence)\n",
                session / wire, (session - pauses) / wire);
    if (flasher < 0) {
        std::printf("stm32flash                 not available\n");
    } else {
        std::printf("stm32flash -w              %.3f s\n", flasher);
        std::printf("ratio session / stm32flash %.2f (%.2f without the line sequence)\n",
                    session / flasher, (session - pauses) / flasher);
    }
    return 0;
}
