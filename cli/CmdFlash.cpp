// vr7c flash and commission: firmware into the module's STM32, unit after unit if asked.

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <functional>

#include "Commands.h"
#include "FirmwareFile.h"
#include "FlashUnit.h"
#include "LinePort.h"
#include "ModbusSession.h"
#include "Output.h"
#include "SlotRunner.h"


namespace {

// How long a started module may take before it answers on Modbus.
constexpr std::uint32_t kStartupMs = 10000;

// A progress bar on a terminal (standard error), otherwise a plain line on standard output
// every tenth, so that standard error keeps only the one-line message of a failure. The slots
// of a fixture each give plain lines that name them.
std::function<void(const char*, int, int)> Progress(const Output& out) {
    const bool bar = Output::Terminal(2) && !out.prefixed();
    auto lastTenth = std::make_shared<int>(-1);
    return [bar, lastTenth, &out](const char* phase, int done, int total) {
        const int percent = total > 0 ? static_cast<int>(std::int64_t{done} * 100 / total) : 0;
        if (bar) {
            const int filled = percent * 30 / 100;
            std::fprintf(stderr, "\r%-6s [%s%s] %3d%% %6d/%d bytes", phase,
                         QByteArray(filled, '#').constData(),
                         QByteArray(30 - filled, ' ').constData(), percent, done, total);
            if (done == total && std::string_view(phase) != "erase") {
                std::fputc('\n', stderr);
            }
            std::fflush(stderr);
        } else if (percent / 10 != *lastTenth || done == 0) {
            *lastTenth = percent / 10;
            out.Line(QStringLiteral("%1 %2%").arg(QLatin1String(phase)).arg(percent));
        }
    };
}

FlashRequest MakeRequest(const CliOptions& o, const FirmwareFile& image, const Output& out) {
    FlashRequest request;
    request.image = image.bytes;
    request.verify = o.verify;
    request.go = o.go;
    request.replyTimeoutMs = o.timeoutMs;
    request.linePauseMs = o.resetPauseMs;
    if (!out.json()) {
        request.progress = Progress(out);
    }
    return request;
}

// The slots' common part: each unit flashed with the same request, the slot's own progress.
SlotJob FlashJob(const CliOptions& o, const QString& logHeader) {
    SlotJob job;
    job.repeat = o.repeat;
    job.count = o.count;
    job.log = o.log;
    job.logHeader = logHeader;
    return job;
}

}  // namespace

int RunFlash(const CliOptions& o, const Output& out) {
    FirmwareFile image;
    const Outcome loaded = LoadFirmwareFile(o.image, image, o.force);
    if (!loaded.ok()) {
        return out.Finish(loaded);
    }
    SlotJob job = FlashJob(o, QStringLiteral("time,port,device_id,image_crc32,result,seconds"));
    job.present = [&](const PortChoice& port) {
        return BootloaderAnswers(port, MakeRequest(o, image, out));
    };
    job.unit = [&](const PortChoice& port, const Output& slot) {
        QElapsedTimer clock;
        clock.start();
        const FlashReport report = FlashUnit(port, MakeRequest(o, image, slot));
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        UnitResult unit;
        unit.outcome = report.outcome;
        unit.seen = !report.deviceId.isEmpty();
        unit.logFields = {report.deviceId, Crc32Text(image.crc32),
                          report.outcome.ok() ? QStringLiteral("ok") : report.outcome.message,
                          QString::number(seconds, 'f', 2)};
        unit.line = QStringLiteral("flashed %1 bytes (CRC-32 %2) into %3 in %4 s%5%6")
                        .arg(image.bytes.size())
                        .arg(Crc32Text(image.crc32), report.deviceId)
                        .arg(seconds, 0, 'f', 2)
                        .arg(o.verify ? QStringLiteral(", verified") : QString(),
                             o.go ? QStringLiteral(", started") : QString());
        unit.record = {{"bytes", image.bytes.size()},
                       {"crc32", Crc32Text(image.crc32)},
                       {"device_id", report.deviceId},
                       {"seconds", seconds},
                       {"verified", o.verify && report.outcome.ok()},
                       {"started", o.go && report.outcome.ok()}};
        return unit;
    };
    return RunSlots(o.ports, job, out, o.deviceLookup);
}

int RunCommission(const CliOptions& o, const Output& out) {
    Profile profile;
    Outcome step = ReadProfileFile(o.profile, profile);
    FirmwareFile image;
    if (step.ok()) {
        step = LoadFirmwareFile(o.image, image, o.force);
    }
    if (!step.ok()) {
        return out.Finish(step);
    }
    int expectedVersion = o.firmwareVersion;
    if (expectedVersion < 0 && o.image.isEmpty()) {
        expectedVersion = VR7C_CARRIED_FIRMWARE_VERSION;
    }
    int station = o.station;
    int baud = static_cast<int>(o.baud);
    int parity = 2;
    ProfileLine(profile, station, baud, parity);

    CliOptions flashOptions = o;
    flashOptions.verify = true;
    flashOptions.go = true;
    SlotJob job = FlashJob(o, QStringLiteral("time,port,device_id,image_crc32,firmware_version,"
                                             "profile,flash,modbus,version,apply,result,seconds"));
    job.present = [&](const PortChoice& port) {
        return BootloaderAnswers(port, MakeRequest(flashOptions, image, out));
    };
    job.unit = [&](const PortChoice& port, const Output& slot) {
        QElapsedTimer clock;
        clock.start();
        QString flashStep = QStringLiteral("failed");
        QString moduleStep = QStringLiteral("skipped");
        QString versionStep = QStringLiteral("skipped");
        QString applyStep = QStringLiteral("skipped");
        QString versionText;

        const FlashReport report = FlashUnit(port, MakeRequest(flashOptions, image, slot));
        UnitResult unit;
        unit.seen = !report.deviceId.isEmpty();
        Outcome result = report.outcome;
        if (result.ok()) {
            flashStep = QStringLiteral("ok");
            CliOptions line = o;
            line.port = port.given;
            line.station = station;
            ModbusSession session(line);
            session.link.SetStation(static_cast<std::uint8_t>(station));
            result =
                session.Open(static_cast<std::uint32_t>(baud), static_cast<TComPortParity>(parity));
            std::uint16_t version = 0;
            if (result.ok()) {
                // The started firmware answers once it is up.
                QElapsedTimer waited;
                waited.start();
                do {
                    result = session.link.Read(11, 1, o.timeoutMs, &version);
                } while (result.code == kExitNoReply && waited.elapsed() < kStartupMs);
                moduleStep = result.ok() ? QStringLiteral("ok") : QStringLiteral("failed");
            }
            if (result.ok()) {
                versionText = QString::number(version / 100.0, 'f', 2);
                if (expectedVersion >= 0 && version != expectedVersion) {
                    versionStep = QStringLiteral("failed");
                    result =
                        Outcome::Fail(kExitVersionMismatch,
                                      QStringLiteral("module reports firmware %1, the image is %2")
                                          .arg(versionText)
                                          .arg(QString::number(expectedVersion / 100.0, 'f', 2)));
                } else {
                    versionStep =
                        expectedVersion >= 0 ? QStringLiteral("ok") : QStringLiteral("not checked");
                }
            }
            if (result.ok()) {
                std::vector<int> written;
                result = session.ApplyProfile(profile, written);
                applyStep = result.ok() ? QStringLiteral("ok") : QStringLiteral("failed");
            }
        }
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        unit.outcome = result;
        unit.logFields = {report.deviceId,
                          Crc32Text(image.crc32),
                          versionText,
                          profile.name,
                          flashStep,
                          moduleStep,
                          versionStep,
                          applyStep,
                          result.ok() ? QStringLiteral("ok") : result.message,
                          QString::number(seconds, 'f', 2)};
        unit.line = QStringLiteral("commissioned %1: firmware %2, profile %3, %4 s")
                        .arg(report.deviceId, versionText, profile.name)
                        .arg(seconds, 0, 'f', 2);
        unit.record = {{"device_id", report.deviceId},
                       {"firmware_version", versionText},
                       {"profile", profile.name},
                       {"seconds", seconds}};
        return unit;
    };
    return RunSlots(o.ports, job, out, o.deviceLookup);
}
