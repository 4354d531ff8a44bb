#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ComTypes.h"
#include "ReceivePace.h"
#include "SerialPortIo.h"
#include "TickClock.h"

class VEVErizEvezad;

// Receive handler: Sender, DataPtr (start of the bytes just read), DataSize.
using TComPortReceiveDataEvent =
    std::function<void(VEVErizEvezad* Sender, const void* DataPtr, std::int32_t DataSize)>;

// Serial port driver: owns one port, its line settings, the timed send, the modem lines and
// the timer-driven accumulation of received bytes in RxBuffer. Clients read RxBuffer and
// RxCount directly and set RxCount to 0 to discard what was received.
class VEVErizEvezad : public QObject {
    Q_OBJECT

public:
    static constexpr int kRxBufferSize = 1024;

    // Without a port, the driver talks to a real serial port of the system.
    explicit VEVErizEvezad(QObject* owner = nullptr, std::unique_ptr<SerialPortIo> port = nullptr,
                           TickClock* clock = nullptr);
    ~VEVErizEvezad() override;

    VEVErizEvezad(const VEVErizEvezad&) = delete;
    VEVErizEvezad& operator=(const VEVErizEvezad&) = delete;

    // Properties, with their rules for writes while open and while closed.
    TComPortNumber ComPort() const { return comPort_; }
    void SetComPort(TComPortNumber value);
    TComPortBaudRate ComPortSpeed() const { return comPortSpeed_; }
    void SetComPortSpeed(TComPortBaudRate value);
    TComPortDataBits ComPortDataBits() const { return comPortDataBits_; }
    void SetComPortDataBits(TComPortDataBits value);
    TComPortStopBits ComPortStopBits() const { return comPortStopBits_; }
    void SetComPortStopBits(TComPortStopBits value);
    TComPortParity ComPortParity() const { return comPortParity_; }
    void SetComPortParity(TComPortParity value);
    TComPortHwHandshaking ComPortHwHandshaking() const { return comPortHwHandshaking_; }
    void SetComPortHwHandshaking(TComPortHwHandshaking value);
    TComPortSwHandshaking ComPortSwHandshaking() const { return comPortSwHandshaking_; }
    void SetComPortSwHandshaking(TComPortSwHandshaking value);
    std::uint16_t ComPortInBufSize() const { return comPortInBufSize_; }
    void SetComPortInBufSize(std::uint16_t value);
    std::uint16_t ComPortOutBufSize() const { return comPortOutBufSize_; }
    void SetComPortOutBufSize(std::uint16_t value);
    std::uint16_t ComPortPollingDelay() const { return comPortPollingDelay_; }
    void SetComPortPollingDelay(std::uint16_t value);
    bool EnableDTROnOpen() const { return enableDTROnOpen_; }
    void SetEnableDTROnOpen(bool value) { enableDTROnOpen_ = value; }
    std::uint16_t OutputTimeout() const { return outputTimeout_; }
    void SetOutputTimeout(std::uint16_t value) { outputTimeout_ = value; }
    // How "COM1" … "COM8" become devices when the line is opened by number (handed to the
    // port): the COM numbers of whoever owns this driver. Without one, VR7C_COMn or
    // /dev/ttyUSB0 … 7.
    const SerialDeviceResolver& DeviceLookup() const { return deviceLookup_; }
    void SetDeviceLookup(SerialDeviceResolver lookup);
    const TComPortReceiveDataEvent& OnReceiveData() const { return onReceiveData_; }
    void SetOnReceiveData(TComPortReceiveDataEvent handler) { onReceiveData_ = std::move(handler); }

    // Opens the line with the settings of every line this system opens: 8 data bits, one stop
    // bit, the given parity (even unless told) at `speed`, after discarding what had been
    // received. The line is a COM number, or a device path or network URL given by name.
    // An open driver keeps its line and only takes the new settings.
    bool Open(TComPortNumber port, TComPortBaudRate speed, TComPortParity parity = ptEVEN);
    bool Open(const std::string& device, TComPortBaudRate speed, TComPortParity parity = ptEVEN);

    bool Connect();
    void Disconnect();
    bool Connected() const;
    // After a failed Connect: why the port did not open, as the port reports it (an errno
    // value such as ENOENT, EACCES or EBUSY, see SerialPortIo), and with EBUSY the id of the
    // process holding the port when known (else 0). 0 after a good Connect.
    int LastOpenError() const { return port_->lastOpenError(); }
    long LastOpenBusyOwner() const { return port_->lastOpenBusyOwner(); }
    // True while open on a Modbus TCP line: Modbus goes over it in MBAP frames.
    bool ModbusTcpLine() const { return Connected() && port_->carriesModbusTcp(); }
    // True while open on a device that has gone away (adapter unplugged, line hung up).
    bool PortHungUp() const { return Connected() && port_->hungUp(); }
    void ApplySettings();
    void FlushBuffers(bool input, bool output);
    std::uint16_t OutFreeSpace();
    std::int32_t SendData(const void* data, std::int32_t count);
    void SetDTR(bool on);
    void SetRTS(bool on);
    void PollReceive();
    // The answer to the `sent` bytes just sent is `answerBytes` long, however long the peer
    // takes for it: it is read once it can have passed on the line, and at once when it
    // arrives later. For clients whose answers differ in length and delay from one request to
    // the next, which the pace cannot learn.
    void AwaitAnswer(std::uint32_t sent, std::uint32_t answerBytes);
    // Waits on the port up to `milliseconds` for bytes to arrive, then takes them in as
    // PollReceive does. For clients that block on the line instead of a timer. False when the
    // wait ended without input; true when input came or the port cannot wait on the device.
    bool WaitReceive(std::uint32_t milliseconds);

    // The line rate in bits per second (never 0): a speed outside the table, possible only by
    // a cast, counts as the slowest the console offers.
    std::uint32_t BaudRate() const;

    // Milliseconds since a read last brought bytes, or since the input was last purged (which
    // Connect does). A read that now brings nothing proves the line silent for that long.
    std::uint32_t MillisecondsSinceArrival();

    // The settings ApplySettings hands to the port, computed from the properties.
    LineSettings BuildLineSettings() const;

    // True while the poll timer runs: while the port is open, except while a port that can
    // report arrivals sleeps on a quiet line.
    bool PollTimerActive() const { return pollTimer_.isActive(); }
    const QTimer& PollTimer() const { return pollTimer_; }

    // Received bytes for clients that do not judge replies in place: what has accumulated, left
    // as it is; what has accumulated, emptying the accumulation (the bytes stay readable through
    // the view until the next receive poll takes more in); or nothing, discarding it.
    std::span<const std::uint8_t> PeekReceived() const;
    std::span<const std::uint8_t> TakeReceived();
    void DropReceived() { RxCount = 0; }

    // Received bytes: RxBuffer holds RxCount valid bytes from its start. Only the Modbus
    // master reads them here; every other client goes through the calls above.
    std::uint16_t RxCount = 0;
    std::uint8_t RxBuffer[kRxBufferSize] = {};

private:
    enum class HandleState : std::uint8_t { None, Open, Invalid };

    void StartPollTimer();
    void PollTick();
    void WakeOnArrival();
    void StopPolling();
    void StopWakingIfHungUp();
    int ReadPort();
    // Paces the reads for the answer to bytes just sent.
    void ExpectAnswer(std::int32_t sent);
    // Time of one character on the line with the current settings.
    std::uint32_t CharacterMicros() const;

    std::unique_ptr<SerialPortIo> port_;
    TickClock& clock_;
    HandleState portHandle_ = HandleState::None;

    TComPortNumber comPort_ = pnCOM1;
    std::string device_;  // when set, opened instead of the COM number
    SerialDeviceResolver deviceLookup_;
    TComPortBaudRate comPortSpeed_ = br9600;
    TComPortDataBits comPortDataBits_ = db8BITS;
    TComPortStopBits comPortStopBits_ = sb1BITS;
    TComPortParity comPortParity_ = ptNONE;
    TComPortHwHandshaking comPortHwHandshaking_ = hhNONE;
    TComPortSwHandshaking comPortSwHandshaking_ = shNONE;
    std::uint16_t comPortInBufSize_ = 1024;
    std::uint16_t comPortOutBufSize_ = 512;
    TComPortReceiveDataEvent onReceiveData_;
    std::uint16_t comPortPollingDelay_ = 5;
    bool enableDTROnOpen_ = false;
    std::uint16_t outputTimeout_ = 4000;

    QTimer pollTimer_;
    // Where the port reports arrivals: the poll timer stops after a poll that found the line
    // quiet, the next arrival is read at once, and the pace decides the reads after it.
    std::unique_ptr<QSocketNotifier> arrival_;
    ReceivePace pace_;
    bool woken_ = false;  // the poll timer runs for an arrival the port reported
    std::uint32_t lastArrivalTick_ = 0;
    std::vector<std::uint8_t> readBuffer_;
};
