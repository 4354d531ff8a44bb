#include "RunRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QUuid>

namespace {

constexpr int kMaxSerialLength = 64;

constexpr struct {
    Verdict verdict;
    const char* name;
} kVerdicts[] = {
    {Verdict::Pass, "PASS"},       {Verdict::Marginal, "MARGINAL"}, {Verdict::Fail, "FAIL"},
    {Verdict::Error, "ERROR"},     {Verdict::Aborted, "ABORTED"},   {Verdict::Skipped, "SKIPPED"},
    {Verdict::Running, "RUNNING"},
};

std::optional<QString> Sha256(const QString& path, QString* error) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return QString::fromLatin1(hash.result().toHex());
}

}  // namespace

const char* VerdictName(Verdict verdict) {
    for (const auto& v : kVerdicts) {
        if (v.verdict == verdict) {
            return v.name;
        }
    }
    return "";
}

std::optional<Verdict> VerdictFromName(const QString& name) {
    for (const auto& v : kVerdicts) {
        if (name == QLatin1String(v.name)) {
            return v.verdict;
        }
    }
    return std::nullopt;
}

bool Passed(Verdict verdict) {
    return verdict == Verdict::Pass || verdict == Verdict::Marginal;
}

QString SerialNumberProblem(const QString& serial) {
    const auto codePoints = serial.toUcs4();
    if (codePoints.isEmpty() || serial.trimmed().isEmpty()) {
        return QStringLiteral("the serial number is empty");
    }
    if (codePoints.size() > kMaxSerialLength) {
        return QStringLiteral("the serial number is longer than %1 characters (%2)")
            .arg(kMaxSerialLength)
            .arg(codePoints.size());
    }
    for (const char32_t c : codePoints) {
        if (!QChar::isPrint(c) || c == U'\u2028' || c == U'\u2029') {
            return QStringLiteral(
                       "the serial number holds a character that is not printable "
                       "(U+%1)")
                .arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
        }
    }
    return {};
}

std::optional<RunRecord> NewRun(const Plan& plan, QString* error) {
    RunRecord run;
    run.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.planName = plan.name;
    run.planRevision = plan.revision;
    // The plan as it was read: the file may have changed since.
    run.planSha256 = plan.sha256;
    QStringList lines;
    for (const QString& file : plan.files) {
        const auto hash = Sha256(file, error);
        if (!hash) {
            return std::nullopt;
        }
        lines << *hash + QStringLiteral("  ") + file;
    }
    run.fileHashes = lines.join(QLatin1Char('\n'));
    run.started = QDateTime::currentDateTimeUtc();
    return run;
}
