#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

#include "Plan.h"

// What a run of a plan on one unit produced, as it is kept on record.

// Outcomes of a step and of a run. MARGINAL passes and is flagged; SKIPPED is a step that was
// not run after an earlier failure; RUNNING is a run whose end is not on record yet.
enum class Verdict { Pass, Marginal, Fail, Error, Aborted, Skipped, Running };

const char* VerdictName(Verdict verdict);
std::optional<Verdict> VerdictFromName(const QString& name);
// PASS and MARGINAL.
bool Passed(Verdict verdict);

struct MeasurementRecord {
    QString quantity;
    std::vector<double> samples;  // every poll's value
    double mean = 0;
    double spread = 0;  // max - min over the samples
    QString unit;
    Limits limits;
    Verdict verdict = Verdict::Pass;
};

struct StepRecord {
    int seq = 0;  // 1, 2, ... in the order run
    QString kind;
    QString name;
    Verdict verdict = Verdict::Pass;
    QDateTime started;
    qint64 durationMs = 0;
    QString message;
    std::optional<MeasurementRecord> measurement;
};

struct RunRecord {
    QString uuid;
    QString planName;
    QString planRevision;
    QString planSha256;
    QString fileHashes;  // one "SHA-256  file" line per file the plan names
    QString serial;
    QString chipId;  // the STM32's 96-bit unique ID in hex, when a flash step ran
    QString bench;
    QString operatorName;
    QString port;
    QString imageCrc32;  // of the image flashed, 8 hex digits
    QString firmwareVersion;
    QString programVersion;
    QDateTime started;  // UTC
    qint64 durationMs = 0;
    Verdict result = Verdict::Running;
    std::vector<StepRecord> steps;
};

// Why a serial number cannot be taken, or empty when it can: printable text of 1 to 64
// characters, kept exactly as given.
QString SerialNumberProblem(const QString& serial);

// A new run for the plan with its UUID, the plan's and its files' SHA-256 and the start time;
// empty with the reason when a file cannot be read.
std::optional<RunRecord> NewRun(const Plan& plan, QString* error);
