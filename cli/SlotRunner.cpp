#include "SlotRunner.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "Output.h"
#include "StopRequest.h"

namespace {

// Between two looks for a unit being removed or a new one.
constexpr unsigned long kRepeatPauseMs = 500;

QString CsvField(QString field) {
    if (field.contains(',') || field.contains('"') || field.contains('\n') ||
        field.contains('\r')) {
        field = '"' + field.replace('"', QStringLiteral("\"\"")) + '"';
    }
    return field;
}

// The CSV log: opened once before the first unit, then one whole line per unit, from any slot.
class CsvLog {
public:
    Outcome Open(const QString& path, const QString& header) {
        file_.setFileName(path);
        header_ = header;
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
            return Outcome::Fail(
                kExitBadFile,
                QStringLiteral("cannot write the log %1: %2").arg(path, file_.errorString()));
        }
        fresh_ = file_.size() == 0;
        return Outcome::Ok();
    }

    Outcome Append(const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields) {
            quoted << CsvField(f);
        }
        const std::lock_guard hold(lock_);
        const QByteArray line =
            ((fresh_ ? header_ + '\n' : QString()) + quoted.join(',') + '\n').toUtf8();
        if (file_.write(line) != line.size() || !file_.flush()) {
            return Outcome::Fail(kExitFailure,
                                 QStringLiteral("cannot append to the log %1 (%2): the run stops")
                                     .arg(file_.fileName(), file_.errorString()));
        }
        fresh_ = false;
        return Outcome::Ok();
    }

private:
    std::mutex lock_;
    QFile file_;
    QString header_;
    bool fresh_ = false;
};

// What one slot did.
struct Tally {
    QString port;
    int units = 0;
    int failures = 0;
    int code = kExitOk;
    int worstUnit = kExitOk;
};

// A unit is waiting when a bootloader answers, or the port fails other than by silence.
bool Retryable(const Outcome& outcome) {
    return outcome.code == kExitNoReply || outcome.code == kExitPortMissing;
}

class Slot {
public:
    Slot(PortChoice port, const SlotJob& job, const Output& out, bool prefixed, bool jsonLines,
         CsvLog* log, std::atomic<bool>& stop)
        : port_(std::move(port)),
          job_(job),
          out_(out.ForSlot(port_.given, prefixed)),
          jsonLines_(jsonLines),
          log_(log),
          stop_(stop) {
        tally_.port = port_.given;
    }

    const Tally& tally() const { return tally_; }

    void Run() {
        if (!job_.repeat) {
            Take(job_.unit(port_, out_));
            return;
        }
        out_.Note(QStringLiteral("waiting for a unit on %1 (Ctrl-C ends)").arg(port_.given));
        while (!Stopping() && (job_.count == 0 || tally_.units < job_.count)) {
            const UnitResult result = job_.unit(port_, out_);
            if (result.last) {
                break;
            }
            if (!result.seen && Retryable(result.outcome)) {
                QThread::msleep(kRepeatPauseMs);
                continue;
            }
            // A port held by another program or closed to this user stays so: no unit can come.
            if (result.outcome.code == kExitPortBusy ||
                result.outcome.code == kExitPortPermission) {
                tally_.code = std::max(tally_.code, out_.Finish(result.outcome));
                return;
            }
            Take(result);
            if ((job_.count != 0 && tally_.units >= job_.count) || !AwaitRemoval()) {
                break;
            }
            // Nothing answered: the next look waits a while rather than spin.
            if (!result.seen) {
                QThread::msleep(kRepeatPauseMs);
            }
        }
        out_.Note(QStringLiteral("%1 unit(s), %2 failed").arg(tally_.units).arg(tally_.failures));
        // Each unit's own result is in the log; the slot fails as its worst unit did.
        tally_.code = std::max(tally_.code, tally_.worstUnit);
    }

private:
    bool Stopping() const { return StopRequested() || stop_.load(); }

    // Reports and logs one unit.
    void Take(const UnitResult& result) {
        ++tally_.units;
        const Outcome& outcome = result.outcome;
        if (!outcome.ok()) {
            ++tally_.failures;
            tally_.worstUnit = std::max(tally_.worstUnit, outcome.code);
        }
        if (jsonLines_ && !(job_.ownResults && outcome.ok())) {
            QJsonObject document = result.record;
            document.insert(QStringLiteral("unit"), tally_.units);
            document.insert(QStringLiteral("ok"), outcome.ok());
            if (!outcome.ok()) {
                document.insert(QStringLiteral("exit_code"), outcome.code);
                document.insert(QStringLiteral("error"), outcome.message);
            }
            out_.Document(document);
        }
        if (outcome.ok()) {
            if (!result.line.isEmpty()) {
                out_.Line(result.line);
            }
            if (!jsonLines_ && !job_.ownResults) {
                out_.Result(result.record);
            }
        } else if (job_.repeat) {
            out_.Error(QStringLiteral("unit %1: %2").arg(tally_.units).arg(outcome.message));
        } else if (jsonLines_) {
            out_.Error(outcome.message);
        } else {
            out_.Finish(outcome, result.record);
        }
        if (!job_.repeat) {
            tally_.code = outcome.code;
        }
        if (log_ && (result.seen || !job_.repeat)) {
            const Outcome logged = log_->Append(
                QStringList{QDateTime::currentDateTime().toString(Qt::ISODate), port_.given} +
                result.logFields);
            if (!logged.ok()) {
                stop_.store(true);
                out_.Error(logged.message);
                tally_.code = std::max(tally_.code, logged.code);
            }
        }
    }

    // Waits until the unit on the port has gone; false when asked to stop.
    bool AwaitRemoval() {
        out_.Note(QStringLiteral("remove the unit and connect the next one"));
        while (!Stopping()) {
            if (!job_.present(port_)) {
                return true;
            }
            QThread::msleep(kRepeatPauseMs);
        }
        return false;
    }

    const PortChoice port_;
    const SlotJob& job_;
    const Output out_;
    const bool jsonLines_;
    CsvLog* const log_;
    std::atomic<bool>& stop_;
    Tally tally_;
};

}  // namespace

int RunSlots(const QStringList& ports, const SlotJob& job, const Output& out,
             const SerialDeviceResolver& lookup) {
    for (int i = 0; i < ports.size(); ++i) {
        if (ports.indexOf(ports[i]) != i) {
            return out.Finish(
                Outcome::Fail(kExitUsage, QStringLiteral("port %1 given twice").arg(ports[i])));
        }
    }
    CsvLog log;
    if (!job.log.isEmpty()) {
        const Outcome opened = log.Open(job.log, job.logHeader);
        if (!opened.ok()) {
            return out.Finish(opened);
        }
    }
    if (job.repeat) {
        InstallStopRequest();
    }
    const bool several = ports.size() > 1;
    const bool jsonLines = job.repeat || several;
    std::atomic<bool> stop{false};
    // The ports are resolved here, before any slot starts, so that no slot looks them up while
    // another does.
    std::vector<std::unique_ptr<Slot>> fixture;
    for (const QString& port : ports) {
        fixture.push_back(std::make_unique<Slot>(ResolvePort(port, lookup), job, out, several,
                                                 jsonLines, job.log.isEmpty() ? nullptr : &log,
                                                 stop));
    }
    if (several) {
        std::vector<std::unique_ptr<QThread>> threads;
        for (auto& slot : fixture) {
            threads.emplace_back(QThread::create([s = slot.get()] { s->Run(); }));
            threads.back()->start();
        }
        for (auto& thread : threads) {
            thread->wait();
        }
    } else {
        fixture.front()->Run();
    }
    int worst = kExitOk;
    int units = 0;
    int failures = 0;
    QJsonArray perSlot;
    for (const auto& slot : fixture) {
        const Tally& t = slot->tally();
        worst = std::max(worst, t.code);
        units += t.units;
        failures += t.failures;
        perSlot.append(QJsonObject{
            {"port", t.port}, {"units", t.units}, {"failed", t.failures}, {"exit_code", t.code}});
    }
    if (jsonLines) {
        out.Document({{"summary", true},
                      {"ok", worst == kExitOk},
                      {"exit_code", worst},
                      {"units", units},
                      {"failed", failures},
                      {"slots", perSlot}});
    }
    return worst;
}
