// Firmware download benchmark: the firmware dialog writing the carried image into the
// simulated module at 115200 baud, from its start button to "上载完成！", against stm32flash
// writing the same image to the same simulator and against the wire time of the whole exchange.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

#include "FirmwareImage.h"
#include "SimRunner.h"
#include "Stm32Bootloader.h"
#include "TFirmwareFrm.h"
#include "TickClock.h"

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

// The real clock, noting when the dialog first pauses with "上载完成！" on its status line:
// the pause of the line sequence that follows the last block's acknowledgement.
class CompletionClock final : public TickClock {
public:
    std::uint32_t tickCount() override { return systemClock().tickCount(); }
    void sleep(std::uint32_t milliseconds) override {
        if (status != nullptr && doneAtMs < 0 &&
            status->text() == BootloaderText::kUploadComplete) {
            doneAtMs = elapsed.elapsed();
        }
        systemClock().sleep(milliseconds);
    }

    const QLabel* status = nullptr;
    QElapsedTimer elapsed;
    qint64 doneAtMs = -1;
};

// Start button to "上载完成！", in seconds; negative when the download failed.
double TimeFirmwareDialog(const std::string& path) {
    qputenv("VR7C_COM1", QByteArray::fromStdString(path));
    CompletionClock clock;
    TFirmwareFrm form(nullptr, nullptr, &clock, nullptr);
    clock.status = form.Panel1;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!form.Session().Timer5.isActive() && !form.Session().OvertimeT.isActive()) {
            loop.quit();
        }
    });
    clock.elapsed.start();
    form.BitBtn1->click();
    check.start(50);
    loop.exec();
    return static_cast<double>(clock.doneAtMs) / 1000.0;
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray carried = LoadFirmwareImage();
    if (carried.isEmpty()) {
        std::fprintf(stderr, "firmware_bench: no carried image\n");
        return 1;
    }
    const long size = carried.size();

    auto sessionSim = StartSimulator();
    if (!sessionSim) {
        return 1;
    }
    const double session = TimeFirmwareDialog(sessionSim->path());
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
    image.write(carried);
    image.flush();
    const double flasher = TimeStm32flash(flasherSim->path(), image.fileName());
    flasherSim.reset();

    const double wire = static_cast<double>(ExchangeCharacters(size)) * kBitsPerCharacter / kBaud;
    const double pauses = 2 * BootloaderSession::kLinePauseMs / 1000.0;
    std::printf("image                      %ld bytes at 115200 baud 8E1\n", size);
    if (session < 0) {
        std::printf("firmware dialog            failed\n");
        return 1;
    }
    std::printf("firmware dialog            %.3f s (start button to \"上载完成！\")\n", session);
    std::printf("  of which line sequence   %.3f s\n", pauses);
    std::printf("wire time of the exchange  %.3f s\n", wire);
    std::printf("chip erase and programming %.3f s\n", ChipSeconds(size));
    std::printf("ratio dialog / wire        %.2f (%.2f without the line sequence)\n",
                session / wire, (session - pauses) / wire);
    if (flasher < 0) {
        std::printf("stm32flash                 not available\n");
    } else {
        std::printf("stm32flash -w              %.3f s\n", flasher);
        std::printf("ratio dialog / stm32flash  %.2f (%.2f without the line sequence)\n",
                    session / flasher, (session - pauses) / flasher);
    }
    return 0;
}
