#include "LineUnit.h"

#include <QThread>

#include <algorithm>

#include "FirmwareFile.h"
#include "FlashUnit.h"
#include "ModbusSession.h"
#include "Profile.h"
#include "RegisterNumbers.h"

namespace {

// How long a started module may take before it answers on Modbus.
constexpr qint64 kStartupMs = 10000;
// The longest slice of a wait step between two looks for a stop request.
constexpr int kWaitSliceMs = 50;

}  // namespace

UnitLine FirstContact(const Plan& plan, int station, int baud) {
    return {plan.expect.station.value_or(station), plan.expect.rate.value_or(baud)};
}

Outcome CheckPlanFiles(const Plan& plan, const QString& file) {
    for (const PlanStep& step : plan.steps) {
        Outcome read;
        if (step.kind == StepKind::Config) {
            Profile profile;
            read = ReadProfileFile(step.file, profile);
        } else if (step.kind == StepKind::Flash) {
            FirmwareFile image;
            read = LoadFirmwareFile(step.file, image);
        }
        if (!read.ok()) {
            return Outcome::Fail(
                kExitBadFile,
                QStringLiteral("%1:%2:1: %3").arg(file).arg(step.line).arg(read.message));
        }
    }
    return Outcome::Ok();
}

UnitOutcome FromOutcome(const Outcome& o) {
    return o.ok()                    ? UnitOutcome::Ok()
           : o.code == kExitMismatch ? UnitOutcome::Failed(o.message)
                                     : UnitOutcome::Broken(o.code, o.message);
}

LineUnit::LineUnit(const LineOptions& options, const PortChoice& port, const UnitLine& line,
                   std::uint32_t resetPauseMs)
    : options_(options), port_(port), line_(line), resetPauseMs_(resetPauseMs) {
    options_.port = port.given;
    if (port.byNumber) {
        options_.deviceLookup = [device = port.device](int) { return device; };
    }
    clock_.start();
}

LineUnit::~LineUnit() = default;

UnitOutcome LineUnit::ReadRegisters(std::uint16_t* regs) {
    if (const UnitOutcome open = Open(); open.verdict != Verdict::Pass) {
        return open;
    }
    const Outcome read = session_->link.Read(0, kPolledRegisters, options_.timeoutMs, regs);
    if (!read.ok() && session_->driver.PortHungUp()) {
        // The unit or its adapter was pulled out: the port is given up, and the next request
        // finds out whether it has come back.
        session_.reset();
        return UnitOutcome::Broken(
            kExitNoReply,
            QStringLiteral("%1: the line hung up (unit or adapter removed)").arg(port_.given));
    }
    return FromOutcome(read);
}

UnitOutcome LineUnit::WriteRegister(int reg, std::uint16_t value) {
    if (const UnitOutcome open = Open(); open.verdict != Verdict::Pass) {
        return open;
    }
    if (const Outcome w = session_->link.Write(reg, value); !w.ok()) {
        return FromOutcome(w);
    }
    std::uint16_t back = 0;
    if (const Outcome r = session_->link.Read(reg, 1, options_.timeoutMs, &back); !r.ok()) {
        return FromOutcome(r);
    }
    return back == value ? UnitOutcome::Ok()
                         : UnitOutcome::Failed(QStringLiteral("register %1 reads %2 after "
                                                              "writing %3")
                                                   .arg(reg)
                                                   .arg(back)
                                                   .arg(value));
}

UnitOutcome LineUnit::ApplyProfile(const QString& path) {
    Profile profile;
    if (const Outcome read = ReadProfileFile(path, profile); !read.ok()) {
        return UnitOutcome::Broken(read.code, read.message);
    }
    if (const UnitOutcome open = Open(); open.verdict != Verdict::Pass) {
        return open;
    }
    std::vector<int> written;
    const Outcome applied = session_->ApplyProfile(profile, written);
    // The session has followed the module to the station and rate the profile gave it.
    line_ = {session_->station(), static_cast<int>(session_->baud()), session_->parity()};
    session_.reset();
    return FromOutcome(applied);
}

UnitOutcome LineUnit::Flash(const QString& imagePath, FlashedImage& flashed) {
    session_.reset();  // the bootloader needs the port
    FirmwareFile image;
    if (const Outcome loaded = LoadFirmwareFile(imagePath, image); !loaded.ok()) {
        return UnitOutcome::Broken(loaded.code, loaded.message);
    }
    FlashRequest request;
    request.image = image.bytes;
    request.verify = true;
    request.go = true;
    request.replyTimeoutMs = options_.timeoutMs;
    request.linePauseMs = resetPauseMs_;
    const FlashReport report = FlashUnit(port_, request);
    // The device ID is the product ID and the chip's 96-bit unique ID.
    flashed.chipId = report.deviceId.section(QLatin1Char('-'), -1);
    flashed.imageCrc32 = Crc32Text(image.crc32);
    if (!report.outcome.ok()) {
        return FromOutcome(report.outcome);
    }
    // The started firmware answers once it is up.
    std::uint16_t version = 0;
    QElapsedTimer waited;
    waited.start();
    Outcome up;
    do {
        if (const UnitOutcome open = Open(); open.verdict != Verdict::Pass) {
            return open;
        }
        up = session_->link.Read(Reg::kVersion, 1, options_.timeoutMs, &version);
    } while (up.code == kExitNoReply && waited.elapsed() < kStartupMs);
    return FromOutcome(up);
}

UnitOutcome LineUnit::RunFixtureCommand(const QStringList& argv, int timeoutMs) {
    return RunProcess(argv, timeoutMs);
}

PromptAnswer LineUnit::Prompt(const QString&) {
    return PromptAnswer::Gone;
}

void LineUnit::Wait(int ms) {
    QElapsedTimer waited;
    waited.start();
    for (qint64 left = ms; left > 0 && !StopRequested(); left = ms - waited.elapsed()) {
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, kWaitSliceMs)));
    }
}

UnitOutcome LineUnit::Open() {
    if (session_) {
        return UnitOutcome::Ok();
    }
    options_.station = line_.station;
    session_ = std::make_unique<ModbusSession>(options_);
    session_->link.SetStation(static_cast<std::uint8_t>(line_.station));
    const Outcome opened = session_->Open(static_cast<std::uint32_t>(line_.baud),
                                          static_cast<TComPortParity>(line_.parity));
    if (!opened.ok()) {
        session_.reset();
    }
    return FromOutcome(opened);
}
