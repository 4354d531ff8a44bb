#include "ZQ_ComDrv.h"

#include <algorithm>
#include <cstring>

#ifdef Q_OS_WIN
#include "QtSerialPortIo.h"
using SystemSerialPortIo = QtSerialPortIo;
#else
#include "PosixSerialPortIo.h"
using SystemSerialPortIo = PosixSerialPortIo;
#endif

VEVErizEvezad::VEVErizEvezad(QObject* owner, std::unique_ptr<SerialPortIo> port, TickClock* clock)
    : QObject(owner),
      port_(port ? std::move(port) : std::make_unique<SystemSerialPortIo>()),
      clock_(clock ? *clock : systemClock()),
      readBuffer_(comPortInBufSize_) {
    pollTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer_, &QTimer::timeout, this, &VEVErizEvezad::PollTick);
}

VEVErizEvezad::~VEVErizEvezad() {
    Disconnect();
}

bool VEVErizEvezad::Connected() const {
    return portHandle_ == HandleState::Open;
}

bool VEVErizEvezad::Open(TComPortNumber port, TComPortBaudRate speed, TComPortParity parity) {
    if (!Connected()) {
        device_.clear();
    }
    SetComPort(port);
    return Open(std::string(), speed, parity);
}

bool VEVErizEvezad::Open(const std::string& device, TComPortBaudRate speed, TComPortParity parity) {
    if (!device.empty() && !Connected()) {
        device_ = device;
    }
    SetComPortSpeed(speed);
    SetComPortDataBits(db8BITS);
    SetComPortParity(parity);
    SetComPortStopBits(sb1BITS);
    RxCount = 0;
    return Connect();
}

std::span<const std::uint8_t> VEVErizEvezad::PeekReceived() const {
    return {RxBuffer, std::min<std::size_t>(RxCount, kRxBufferSize)};
}

std::span<const std::uint8_t> VEVErizEvezad::TakeReceived() {
    const std::span<const std::uint8_t> received = PeekReceived();
    RxCount = 0;
    return received;
}

bool VEVErizEvezad::Connect() {
    if (Connected()) {
        return true;
    }
    const char name[5] = {'C', 'O', 'M', static_cast<char>('1' + comPort_), '\0'};
    portHandle_ = port_->open(device_.empty() ? name : device_.c_str()) ? HandleState::Open
                                                                        : HandleState::Invalid;
    if (!Connected()) {
        return false;
    }
    ApplySettings();
    // Reads return at once with whatever has arrived; writes have no time-out.
    CommTimeouts timeouts;
    timeouts.readIntervalTimeout = 1;
    timeouts.readTotalTimeoutMultiplier = 0;
    timeouts.readTotalTimeoutConstant = 1;
    port_->setTimeouts(timeouts);
    StartPollTimer();
    return true;
}

void VEVErizEvezad::Disconnect() {
    if (!Connected()) {
        return;
    }
    StopPolling();
    port_->close();
    portHandle_ = HandleState::None;
}

LineSettings VEVErizEvezad::BuildLineSettings() const {
    LineSettings s;
    s.baudRate = kBaudRateTable[comPortSpeed_];
    s.binaryMode = true;
    s.parityCheck = false;
    s.dtrEnabled = enableDTROnOpen_;
    s.ctsOutputFlow = comPortHwHandshaking_ == hhRTSCTS;
    s.rtsHandshake = comPortHwHandshaking_ == hhRTSCTS;
    s.xonXoffOutput = comPortSwHandshaking_ == shXONXOFF;
    s.xonXoffInput = comPortSwHandshaking_ == shXONXOFF;
    s.xonLimit = static_cast<std::uint16_t>(comPortInBufSize_ / 4);
    s.xoffLimit = 1;
    s.byteSize = static_cast<std::uint8_t>(comPortDataBits_ + 5);
    s.parity = comPortParity_;
    s.stopBits = comPortStopBits_;
    s.xonChar = 17;
    s.xoffChar = 19;
    return s;
}

void VEVErizEvezad::ApplySettings() {
    if (!Connected()) {
        return;
    }
    // Settings first, then the purge, then the queue sizes: the modem lines follow the
    // control modes of the settings, so DTR and RTS are put back each time.
    port_->setLineSettings(BuildLineSettings());
    pace_.SetCharacterMicros(CharacterMicros());
    FlushBuffers(true, true);
    port_->setQueueSizes(comPortInBufSize_, comPortOutBufSize_);
}

void VEVErizEvezad::FlushBuffers(bool input, bool output) {
    if (!Connected()) {
        return;
    }
    std::uint32_t flags = 0;
    if (input) {
        flags |= kPurgeRxAbort | kPurgeRxClear;
        // What the purge dropped may have just arrived: silence counts from here.
        lastArrivalTick_ = clock_.tickCount();
    }
    if (output) {
        flags |= kPurgeTxAbort | kPurgeTxClear;
    }
    port_->purge(flags);
}

std::uint16_t VEVErizEvezad::OutFreeSpace() {
    if (!Connected()) {
        return 65535;
    }
    // Unsigned 16-bit arithmetic: a queue longer than the output size wraps to a large value.
    return static_cast<std::uint16_t>(comPortOutBufSize_ - port_->outputQueueLength());
}

std::int32_t VEVErizEvezad::SendData(const void* data, std::int32_t count) {
    if (!Connected() || count <= 0) {
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::int32_t total = 0;
    std::int32_t remaining = count;
    std::uint32_t lastProgress = clock_.tickCount();
    while (remaining > 0) {
        // A port that has gone away takes nothing more: end as on a time-out.
        if (port_->hungUp()) {
            StopWakingIfHungUp();
            return -total;
        }
        if (OutFreeSpace() > 0) {
            const std::int64_t written = port_->write(bytes + total, remaining);
            if (written > 0) {
                const auto n =
                    static_cast<std::int32_t>(std::min<std::int64_t>(written, remaining));
                remaining -= n;
                total += n;
                lastProgress = clock_.tickCount();
                continue;
            }
            // A write that fails or takes nothing is no progress: it falls through to the
            // time-out test, so a dead port cannot hold the caller forever.
        }
        if (clock_.tickCount() - lastProgress > outputTimeout_) {
            return -total;
        }
    }
    ExpectAnswer(total);
    return total;
}

void VEVErizEvezad::ExpectAnswer(std::int32_t sent) {
    if (arrival_ == nullptr) {
        return;
    }
    const std::optional<ReceivePace::Next> next =
        pace_.Sent(clock_.tickCount(), static_cast<std::uint32_t>(sent));
    if (next) {
        // The answer's first bytes need not wake the program: it is read once it can be whole.
        arrival_->setEnabled(false);
        woken_ = false;
        pollTimer_.start(static_cast<int>(next->ms));
    }
}

void VEVErizEvezad::AwaitAnswer(std::uint32_t sent, std::uint32_t answerBytes) {
    if (arrival_ == nullptr || !Connected()) {
        return;
    }
    const ReceivePace::Next next = pace_.Awaiting(clock_.tickCount(), sent, answerBytes);
    arrival_->setEnabled(false);
    woken_ = false;
    pollTimer_.start(static_cast<int>(next.ms));
}

void VEVErizEvezad::SetDTR(bool on) {
    if (!Connected()) {
        return;
    }
    static constexpr ModemLineChange kCodes[2] = {ModemLineChange::ClearDtr,
                                                  ModemLineChange::SetDtr};
    port_->changeModemLine(kCodes[on ? 1 : 0]);
}

void VEVErizEvezad::SetRTS(bool on) {
    if (!Connected()) {
        return;
    }
    static constexpr ModemLineChange kCodes[2] = {ModemLineChange::ClearRts,
                                                  ModemLineChange::SetRts};
    port_->changeModemLine(kCodes[on ? 1 : 0]);
}

void VEVErizEvezad::PollReceive() {
    ReadPort();
}

int VEVErizEvezad::ReadPort() {
    if (!Connected() || readBuffer_.empty()) {
        return 0;
    }
    const std::int64_t got =
        port_->read(readBuffer_.data(), static_cast<std::int64_t>(readBuffer_.size()));
    if (got <= 0) {
        StopWakingIfHungUp();
        return 0;
    }
    auto n = static_cast<int>(
        std::min<std::int64_t>(got, static_cast<std::int64_t>(readBuffer_.size())));
    // Only the newest bytes are kept when one read brings more than RxBuffer holds (possible
    // only with an input size above 1024): the copy never passes the end of RxBuffer.
    const std::uint8_t* source = readBuffer_.data();
    int stored = n;
    if (stored > kRxBufferSize) {
        source += stored - kRxBufferSize;
        stored = kRxBufferSize;
    }
    if (RxCount + stored >= kRxBufferSize) {
        RxCount = 0;
    }
    std::memcpy(RxBuffer + RxCount, source, static_cast<std::size_t>(stored));
    RxCount = static_cast<std::uint16_t>(RxCount + stored);
    lastArrivalTick_ = clock_.tickCount();
    if (onReceiveData_) {
        onReceiveData_(this, readBuffer_.data(), n);
    }
    return n;
}

bool VEVErizEvezad::WaitReceive(std::uint32_t milliseconds) {
    if (!Connected()) {
        return false;
    }
    const bool ready = port_->waitForInput(milliseconds);
    PollReceive();
    return ready;
}

void VEVErizEvezad::StartPollTimer() {
    pace_.Start(comPortPollingDelay_, CharacterMicros());
    pollTimer_.start(comPortPollingDelay_);
    const int descriptor = port_->arrivalDescriptor();
    if (descriptor >= 0 && arrival_ == nullptr) {
        arrival_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
        arrival_->setEnabled(false);
        connect(arrival_.get(), &QSocketNotifier::activated, this, &VEVErizEvezad::WakeOnArrival);
    }
}

void VEVErizEvezad::StopPolling() {
    pollTimer_.stop();
    arrival_.reset();
}

void VEVErizEvezad::PollTick() {
    const int got = ReadPort();
    if (arrival_ == nullptr) {
        return;  // a port that cannot report arrivals is read every poll period
    }
    const std::uint32_t now = clock_.tickCount();
    const auto bytes = static_cast<std::uint32_t>(got);
    const ReceivePace::Next next = woken_ ? pace_.Arrived(now, bytes) : pace_.Read(now, bytes);
    woken_ = false;
    if (next.sleep) {
        pollTimer_.stop();
        arrival_->setEnabled(true);
    } else {
        pollTimer_.start(static_cast<int>(next.ms));
    }
}

void VEVErizEvezad::StopWakingIfHungUp() {
    // A port that has let its device go has closed the descriptor it reported arrivals on;
    // nothing more can arrive, so nothing wakes the driver again.
    if (arrival_ != nullptr && port_->hungUp()) {
        StopPolling();
    }
}

void VEVErizEvezad::WakeOnArrival() {
    // Bytes (or a hang-up) have arrived. They are read at once, but from the poll timer, so
    // that the notifier is never deleted inside its own signal when the read finds the
    // device gone; a zero timer runs in this same wake-up.
    arrival_->setEnabled(false);
    woken_ = true;
    pollTimer_.start(0);
}

std::uint32_t VEVErizEvezad::BaudRate() const {
    const auto index = static_cast<std::size_t>(comPortSpeed_);
    return index < std::size(kBaudRateTable) ? kBaudRateTable[index] : 9600;
}

std::uint32_t VEVErizEvezad::CharacterMicros() const {
    const std::uint32_t baud = BaudRate();
    // In half bits: start bit, data bits, parity bit, and one, one and a half or two stop bits.
    const std::uint32_t halfBits = 2 * (1 + comPortDataBits_ + 5) +
                                   (comPortParity_ == ptNONE ? 0 : 2) +
                                   (comPortStopBits_ == sb1BITS       ? 2
                                    : comPortStopBits_ == sb1HALFBITS ? 3
                                                                      : 4);
    return (halfBits * 1'000'000 + baud) / (2 * baud);
}

std::uint32_t VEVErizEvezad::MillisecondsSinceArrival() {
    return clock_.tickCount() - lastArrivalTick_;
}

void VEVErizEvezad::SetDeviceLookup(SerialDeviceResolver lookup) {
    deviceLookup_ = std::move(lookup);
    port_->setDeviceLookup(deviceLookup_);
}

void VEVErizEvezad::SetComPort(TComPortNumber value) {
    if (!Connected()) {
        comPort_ = value;
    }
}

void VEVErizEvezad::SetComPortSpeed(TComPortBaudRate value) {
    comPortSpeed_ = value;
    ApplySettings();
}

void VEVErizEvezad::SetComPortDataBits(TComPortDataBits value) {
    comPortDataBits_ = value;
    ApplySettings();
}

void VEVErizEvezad::SetComPortStopBits(TComPortStopBits value) {
    comPortStopBits_ = value;
    ApplySettings();
}

void VEVErizEvezad::SetComPortParity(TComPortParity value) {
    comPortParity_ = value;
    ApplySettings();
}

void VEVErizEvezad::SetComPortHwHandshaking(TComPortHwHandshaking value) {
    comPortHwHandshaking_ = value;
    ApplySettings();
}

void VEVErizEvezad::SetComPortSwHandshaking(TComPortSwHandshaking value) {
    comPortSwHandshaking_ = value;
    ApplySettings();
}

void VEVErizEvezad::SetComPortInBufSize(std::uint16_t value) {
    if (Connected()) {
        return;
    }
    comPortInBufSize_ = value;
    readBuffer_.assign(value, 0);
    readBuffer_.shrink_to_fit();
}

void VEVErizEvezad::SetComPortOutBufSize(std::uint16_t value) {
    // Accepted while closed, like the input size; while open it reaches the port only at the
    // next ApplySettings.
    comPortOutBufSize_ = value;
}

void VEVErizEvezad::SetComPortPollingDelay(std::uint16_t value) {
    if (value == comPortPollingDelay_) {
        return;
    }
    if (Connected() && (pollTimer_.isActive() || arrival_ != nullptr)) {
        pollTimer_.stop();
        comPortPollingDelay_ = value;
        StartPollTimer();
    } else {
        comPortPollingDelay_ = value;
    }
}
