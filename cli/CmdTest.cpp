// vr7c test: a production test plan run on the unit in each fixture slot, every step on record
// as it ends.

#include <QCoreApplication>
#include <QProcess>
#include <QSysInfo>

#include <cstdio>
#include <map>
#include <mutex>
#include <optional>

#include "Commands.h"
#include "LineUnit.h"
#include "Output.h"
#include "Plan.h"
#include "Records.h"
#include "RunRecorder.h"
#include "SlotRunner.h"
#include "StopRequest.h"

namespace {

// How long copying the queued runs to the shared records may take after a run.
constexpr int kSyncWaitMs = 30000;

// Standard input, shared by the slots: serial numbers (a barcode scanner types one line) and
// the operator's answers, one question at a time.
class Desk {
public:
    explicit Desk(QString firstSerial) : serial_(std::move(firstSerial)) {}

    // The next unit's serial number; none when input has ended.
    std::optional<QString> Serial(const QString& port) {
        const std::lock_guard lock(mutex_);
        if (!serial_.isEmpty()) {
            return std::exchange(serial_, QString());
        }
        std::fprintf(stderr, "serial number (%s): ", port.toLocal8Bit().constData());
        std::fflush(stderr);
        return Line();
    }

    PromptAnswer Ask(const QString& port, const QString& text) {
        const std::lock_guard lock(mutex_);
        std::fprintf(stderr, "%s: %s [Y/n] ", port.toLocal8Bit().constData(),
                     text.toUtf8().constData());
        std::fflush(stderr);
        const std::optional<QString> line = Line();
        if (!line) {
            return PromptAnswer::Gone;
        }
        const QString answer = line->trimmed().toLower();
        return answer.isEmpty() || answer.startsWith(QLatin1Char('y')) ? PromptAnswer::Confirmed
                                                                       : PromptAnswer::Declined;
    }

private:
    // One line without its end; none at the end of input.
    static std::optional<QString> Line() {
        // Bounds: a line longer than this is a fault of the scanner. The rest of it is read and
        // dropped, so that the line is refused as a whole (far too long for a serial number)
        // and no part of it is ever taken for the next one.
        constexpr qsizetype kKept = 4096;
        QByteArray line;
        int c = 0;
        while ((c = std::getc(stdin)) != EOF && c != '\n') {
            if (line.size() < kKept) {
                line.append(static_cast<char>(c));
            }
        }
        if (c == EOF && line.isEmpty()) {
            return std::nullopt;
        }
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        return QString::fromUtf8(line);
    }

    std::mutex mutex_;
    QString serial_;
};

// One slot's unit, reached on its port; the operator answers on standard input.
class SlotUnit : public LineUnit {
public:
    SlotUnit(const CliOptions& o, const PortChoice& port, Desk& desk, const UnitLine& line)
        : LineUnit(o, port, line, o.production.resetPauseMs), port_(port.given), desk_(desk) {
        stopped = [] { return ::StopRequested(); };
    }

    PromptAnswer Prompt(const QString& text) override { return desk_.Ask(port_, text); }

private:
    QString port_;
    Desk& desk_;
};

}  // namespace

int RunTest(const CliOptions& o, const Output& out) {
    const ProductionOptions& p = o.production;
    PlanError planError;
    const auto plan = ReadPlanFile(p.plan, &planError);
    if (!plan) {
        return out.Finish(Outcome::Fail(kExitBadFile, planError.Text(p.plan)));
    }
    // Profiles and images are read before any unit is touched.
    if (const Outcome files = CheckPlanFiles(*plan, p.plan); !files.ok()) {
        return out.Finish(files);
    }
    // The records must take the run before any unit is touched.
    Outcome opened;
    if (!OpenBenchRecords(o, opened)) {
        return out.Finish(opened);
    }
    const QString shared = SharedRecordsAddress(o, opened);
    if (!opened.ok()) {
        return out.Finish(opened);
    }
    const UnitLine factory = FirstContact(*plan, o.station, static_cast<int>(o.baud));
    // Where each slot's last unit was left: a config step may have moved it, and it is looked
    // for there until it is removed.
    std::mutex leftLock;
    std::map<QString, UnitLine> left;
    Desk desk(p.serial);
    InstallStopRequest();

    SlotJob job;
    job.repeat = o.repeat;
    job.count = o.count;
    job.present = [&](const PortChoice& port) {
        UnitLine line = factory;
        {
            const std::lock_guard hold(leftLock);
            if (const auto at = left.find(port.given); at != left.end()) {
                line = at->second;
            }
        }
        SlotUnit unit(o, port, desk, line);
        std::uint16_t regs[kPolledRegisters];
        return unit.ReadRegisters(regs).verdict == Verdict::Pass;
    };
    job.unit = [&](const PortChoice& port, const Output& slot) {
        UnitResult result;
        const std::optional<QString> given = desk.Serial(port.given);
        if (!given || StopRequested()) {
            // No unit can follow: the slot ends here.
            result.last = true;
            result.outcome = Outcome::Fail(kExitFailure, QStringLiteral("no serial number given"));
            return result;
        }
        const QString& serial = *given;
        if (const QString why = SerialNumberProblem(serial); !why.isEmpty()) {
            result.outcome = Outcome::Fail(kExitUsage, why);
            return result;
        }
        Outcome failed;
        auto records = OpenBenchRecords(o, failed);
        QString error;
        std::optional<RunRecord> run = records ? NewRun(*plan, &error) : std::nullopt;
        if (run) {
            run->serial = serial;
            run->bench = QSysInfo::machineHostName();
            run->operatorName = qEnvironmentVariable("USER");
            run->port = port.given;
            run->programVersion = QCoreApplication::applicationVersion();
            if (!records->BeginRun(*run, &error)) {
                run.reset();
            }
        }
        if (!run) {
            result.outcome = records
                                 ? Outcome::Fail(kExitFailure, QStringLiteral("records: %1; the "
                                                                              "test did not "
                                                                              "start")
                                                                   .arg(error))
                                 : failed;
            return result;
        }
        result.seen = true;
        SlotUnit unit(o, port, desk, factory);
        // On a terminal, the step under way stands on a line of its own until it ends.
        const bool progress = Output::Terminal(1) && !slot.json() && !slot.prefixed();
        RunRecorder recorder(*records, [&](const RunRecord&, const StepRecord& step) {
            if (progress) {
                slot.Raw(QStringLiteral("\r\033[K"));
            }
            slot.Line(StepText(step));
        });
        if (progress) {
            recorder.starting = [&](const PlanStep& step, int seq) {
                slot.Raw(QStringLiteral("%1 %2 ...").arg(seq).arg(step.name));
            };
        }
        Runner runner(*plan, unit, recorder);
        runner.Run(*run);
        {
            const std::lock_guard hold(leftLock);
            left[port.given] = unit.line();
        }
        if (!records->FinishRun(*run, &error)) {
            slot.Note(QStringLiteral("records: the run's end could not be written: %1").arg(error));
        }
        if (!shared.isEmpty()) {
            // The copy runs as a program of its own that is given up on after a while: a
            // server that hangs in the middle of a statement holds its client with it, and the
            // run is safe in the file whatever happens to the copy.
            QProcess sync;
            sync.setProcessChannelMode(QProcess::MergedChannels);
            // The address goes by the environment: a command line is shown to every user.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QLatin1String(kSharedRecordsVariable), shared);
            sync.setProcessEnvironment(environment);
            sync.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("records"), QStringLiteral("sync"),
                        QStringLiteral("--records"), records->where()});
            const bool ended = sync.waitForFinished(kSyncWaitMs);
            if (!ended) {
                sync.kill();
                sync.waitForFinished();
            }
            if (!ended || sync.exitStatus() != QProcess::NormalExit || sync.exitCode() != 0) {
                QString ignored;
                slot.Note(ended ? QString::fromUtf8(sync.readAll()).trimmed()
                                : QStringLiteral("vr7c: the shared records did not answer within "
                                                 "%1 s; %2 runs stay queued")
                                      .arg(kSyncWaitMs / 1000)
                                      .arg(records->Queued(&ignored)));
            }
        }
        const QString verdict = QLatin1String(VerdictName(run->result));
        result.record = RunJson(*run);
        result.line = QStringLiteral("%1: %2 (run %3)").arg(serial, verdict, run->uuid);
        switch (run->result) {
            case Verdict::Pass:
            case Verdict::Marginal:
                break;
            case Verdict::Fail:
                result.outcome = Outcome::Fail(kExitTestFailed, result.line);
                break;
            case Verdict::Error:
                result.outcome = Outcome::Fail(
                    runner.errorCode() ? runner.errorCode() : kExitFailure, result.line);
                break;
            default:
                result.outcome = Outcome::Fail(kExitFailure, result.line);
                break;
        }
        return result;
    };
    return RunSlots(o.ports, job, out, o.deviceLookup);
}
