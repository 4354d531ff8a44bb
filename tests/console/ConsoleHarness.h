#pragma once

#include <QString>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "Main.h"
#include "MonitorD.h"
#include "RecordingPrompter.h"

// Words 0 to 99 as a module would report them.
using ModuleWords = std::array<std::uint16_t, 100>;

// The bytes of a read reply to "station, function 3, 100 registers", CRC appended.
std::vector<std::uint8_t> ReadReply(const ModuleWords& words, std::uint8_t station = 1);

// A write-single-register request or echo: station, 6, address, value, CRC.
std::vector<std::uint8_t> WriteFrame(std::uint16_t address, std::uint16_t value,
                                     std::uint8_t station = 1);

// One register write seen on the fake line: wire address and value.
struct WireWrite {
    std::uint16_t address;
    std::uint16_t value;
    bool operator==(const WireWrite&) const = default;
};

// The main window on its real driver (COM numbers as the environment maps them), with recorded
// message boxes and the settings file given.
struct RealPortConsole {
    explicit RealPortConsole(const QString& settingsPath);
    RecordingPrompter prompter;
    TMainForm form;
};

// The main window and the write dialog on a fake port, a fake clock, recorded message boxes
// and a settings file in a temporary folder.
class ConsoleHarness {
public:
    explicit ConsoleHarness(const QString& settingsPath = {});
    ~ConsoleHarness();

    // Presses "开始连接" (or "断开连接").
    void ClickConnect();
    // Connects and lets the first tick send the read request.
    void ConnectAndSend();
    // Hands bytes to the driver as one receive poll would.
    void Deliver(const std::vector<std::uint8_t>& bytes);
    // Ticks n times.
    void Tick(int n = 1);
    // Connects and takes one good reply with these words.
    void ConnectWithReply(const ModuleWords& words);
    // Delivers a good reply and ticks once.
    void ReplyAndTick(const ModuleWords& words);

    // Answers every write request with its echo (and, when answerReads is set, every read
    // request with a reply of `module`).
    void EchoWrites(bool echo = true);
    // Read requests (function 3) sent so far.
    int ReadRequests() const;
    // Write requests (function 6) sent so far.
    std::vector<WireWrite> Writes() const;

    QTemporaryDir dir;
    QString settingsPath;
    FakeClock clock;
    RecordingPrompter prompter;
    std::vector<QUrl> openedUrls;
    FakeSerialPortIo* port = nullptr;  // owned by the form's driver
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TMonitorDf> monitor;
};
