#include "ConsoleHarness.h"

#include <QPushButton>

#include "MODBUS_RTU.h"

namespace {

void AppendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint16_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

}  // namespace

std::vector<std::uint8_t> ReadReply(const ModuleWords& words, std::uint8_t station) {
    std::vector<std::uint8_t> frame = {station, 3, 200};
    for (const std::uint16_t word : words) {
        frame.push_back(static_cast<std::uint8_t>(word >> 8));
        frame.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    AppendCrc(frame);
    return frame;
}

std::vector<std::uint8_t> WriteFrame(std::uint16_t address, std::uint16_t value,
                                     std::uint8_t station) {
    std::vector<std::uint8_t> frame = {station,
                                       6,
                                       static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address & 0xFF),
                                       static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value & 0xFF)};
    AppendCrc(frame);
    return frame;
}

RealPortConsole::RealPortConsole(const QString& settingsPath)
    : form([&] {
          MainFormOptions options;
          options.prompter = &prompter;
          options.settingsPath = settingsPath;
          return options;
      }()) {}

ConsoleHarness::ConsoleHarness(const QString& path)
    : settingsPath(path.isEmpty() ? dir.filePath(QStringLiteral("settings.ini")) : path) {
    auto fakePort = std::make_unique<FakeSerialPortIo>();
    port = fakePort.get();
    MainFormOptions options;
    options.port = std::move(fakePort);
    options.clock = &clock;
    options.prompter = &prompter;
    options.settingsPath = settingsPath;
    options.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
    form = std::make_unique<TMainForm>(std::move(options));
    monitor = std::make_unique<TMonitorDf>(*form, prompter, form.get());
    form->SetMonitorForm(monitor.get());
}

ConsoleHarness::~ConsoleHarness() {
    monitor.reset();
    form.reset();
}

void ConsoleHarness::ClickConnect() {
    form->SpeedButton1->click();
}

void ConsoleHarness::ConnectAndSend() {
    ClickConnect();
    Tick();
}

void ConsoleHarness::Deliver(const std::vector<std::uint8_t>& bytes) {
    port->feed(bytes);
    form->ComDriver().PollReceive();
}

void ConsoleHarness::Tick(int n) {
    for (int i = 0; i < n; ++i) {
        form->Timer1Timer();
    }
}

void ConsoleHarness::ConnectWithReply(const ModuleWords& words) {
    ConnectAndSend();
    ReplyAndTick(words);
}

void ConsoleHarness::ReplyAndTick(const ModuleWords& words) {
    Deliver(ReadReply(words));
    Tick();
}

void ConsoleHarness::EchoWrites(bool echo) {
    if (!echo) {
        port->onWrite = nullptr;
        return;
    }
    port->onWrite = [this](const std::vector<std::uint8_t>& bytes) {
        if (bytes.size() == 8 && bytes[1] == 6) {
            port->feed(bytes);
        }
    };
}

int ConsoleHarness::ReadRequests() const {
    int count = 0;
    for (const auto& frame : port->writes) {
        if (frame.size() == 8 && frame[1] == 3) {
            ++count;
        }
    }
    return count;
}

std::vector<WireWrite> ConsoleHarness::Writes() const {
    std::vector<WireWrite> writes;
    for (const auto& frame : port->writes) {
        if (frame.size() == 8 && frame[1] == 6) {
            writes.push_back({static_cast<std::uint16_t>(frame[2] << 8 | frame[3]),
                              static_cast<std::uint16_t>(frame[4] << 8 | frame[5])});
        }
    }
    return writes;
}
