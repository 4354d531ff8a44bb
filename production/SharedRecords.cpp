#include "SharedRecords.h"

#include <QDate>
#include <QSettings>

#include <memory>

#include "RecordStore.h"

namespace {

std::unique_ptr<RecordStore> OpenShared(const QString& address, QString* error) {
    const auto parsed = ParseSharedAddress(address, error);
    return parsed ? RecordStore::OpenShared(*parsed, kSharedTimeoutS, error) : nullptr;
}

}  // namespace

QString ConfiguredSharedAddress(QString* source) {
    QString address = qEnvironmentVariable(kSharedRecordsVariable);
    QString from = QLatin1String(kSharedRecordsVariable);
    if (address.isEmpty()) {
        const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("vr7c"),
                                 QStringLiteral("vr7c"));
        address = settings.value(QStringLiteral("records/shared")).toString();
        from = settings.fileName() + QStringLiteral(": [records] shared");
    }
    if (source) {
        *source = from;
    }
    return address;
}

SyncOutcome SyncQueuedRuns(const QString& benchFile, const QString& sharedAddress) {
    SyncOutcome outcome;
    auto bench = RecordStore::OpenLocal(benchFile, &outcome.error);
    if (!bench) {
        return outcome;
    }
    if (auto shared = OpenShared(sharedAddress, &outcome.error)) {
        outcome.copied = std::max(0, bench->SyncTo(*shared, &outcome.error));
    }
    QString ignored;
    outcome.queued = bench->Queued(&ignored);
    if (outcome.queued == 0) {
        outcome.error.clear();
    }
    return outcome;
}

std::optional<std::vector<RunRecord>> LoadRecentRuns(const QString& benchFile,
                                                     const QString& sharedAddress, int days,
                                                     int most, QString* error) {
    auto store = sharedAddress.isEmpty() ? RecordStore::OpenLocal(benchFile, error)
                                         : OpenShared(sharedAddress, error);
    if (!store) {
        return std::nullopt;
    }
    RunFilter filter;
    filter.since = QDate::currentDate().addDays(1 - days).toString(Qt::ISODate);
    filter.limit = most;
    auto listed = store->List(filter, error);
    if (!listed) {
        return std::nullopt;
    }
    std::vector<RunRecord> runs;
    for (const RunRecord& run : *listed) {
        if (auto whole = store->Load(run.uuid, error)) {
            runs.push_back(std::move(*whole));
        }
    }
    return runs;
}
