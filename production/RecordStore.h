#pragma once

#include <QIODevice>
#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "RunRecord.h"

// Where a shared store is: a postgresql:// address. User, host, port and database come from
// it, every other query item passes on to libpq as a connection option (sslmode, ...).
// Passwords are never taken from it: libpq finds them in ~/.pgpass, PGPASSFILE or a service
// file.
struct SharedAddress {
    QString host;  // a name, an address, or a socket folder
    int port = 5432;
    QString user;
    QString database;
    QStringList options;  // "key=value"
};
// True for texts that name a shared store rather than a file.
bool IsSharedAddress(const QString& text);
std::optional<SharedAddress> ParseSharedAddress(const QString& text, QString* error);

struct RunFilter {
    QString serial;
    QString since;  // a date or time in UTC, compared with the start
    QString result;
    QString plan;
    int limit = 0;  // 0: all
};

struct DayStats {
    QString plan;
    QString day;
    int units = 0;      // units first tested that day
    int firstPass = 0;  // of them, passed at the first run
};
struct StepFailures {
    QString plan;
    QString day;
    QString step;
    int failures = 0;
};
struct MeasurementStats {
    QString plan;
    QString name;
    QString quantity;
    QString unit;
    double low = 0;
    double high = 0;
    qint64 count = 0;
    double mean = 0;
    double deviation = 0;  // sample standard deviation; 0 below two values
    std::optional<double> cpk;
};
struct Stats {
    std::vector<DayStats> days;
    std::vector<StepFailures> failures;
    std::vector<MeasurementStats> measurements;
};

// What a finished run adds to the statistics.
struct RunTally;

// The records of runs: a SQLite file on this bench (also the queue of runs for the shared
// store), or the line's shared PostgreSQL store. Every run is written as it goes, a step per
// transaction, so that a unit that was started is on record even if the program dies. The
// schema is created and upgraded here. Values only ever reach SQL as bound parameters.
class RecordStore {
public:
    // The bench's file, with the folder made if need be. Refuses a file that cannot be written
    // or a disk without room, and marks runs whose program is gone ABORTED.
    static std::unique_ptr<RecordStore> OpenLocal(const QString& file, QString* error);
    // The shared store, with time-outs so that a server that hangs cannot hold the program.
    static std::unique_ptr<RecordStore> OpenShared(const SharedAddress& address, int timeoutS,
                                                   QString* error);
    // The file records go to when none is named: in the user's data folder.
    static QString DefaultFile();

    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    bool shared() const { return shared_; }
    QString where() const { return where_; }

    // The run's row, marked RUNNING and owned by this process.
    bool BeginRun(const RunRecord& run, QString* error);
    // One step (and its measurement) with the run's identity as known so far.
    bool AddStep(const RunRecord& run, const StepRecord& step, QString* error);
    // The run's result and duration, and its share of the statistics.
    bool FinishRun(const RunRecord& run, QString* error);
    // Runs marked ABORTED when this store was opened.
    int abandoned() const { return abandoned_; }

    std::optional<std::vector<RunRecord>> List(const RunFilter& filter, QString* error);
    // A run with its steps and measurements, by its UUID.
    std::optional<RunRecord> Load(const QString& uuid, QString* error);
    // A unit's runs, newest first, each whole.
    std::optional<std::vector<RunRecord>> UnitRuns(const QString& serial, QString* error);
    // One CSV row per measurement.
    bool ExportCsv(QIODevice& out, QString* error);
    std::optional<Stats> ComputeStats(QString* error);

    // Finished runs not yet copied to the shared store.
    int Queued(QString* error);
    // Copies the queued runs, a batch per transaction; a run already there is not copied
    // again. Gives the number copied, or -1 with the reason.
    int SyncTo(RecordStore& shared, QString* error);

private:
    RecordStore(QSqlDatabase db, bool shared, QString where);
    bool PrepareSchema(QString* error);
    bool MarkAbandoned(QString* error);
    // `firsts`: the runs that were their unit's first, when the caller has already put them in
    // unit_first (the shared store does that for a whole batch in one statement).
    bool Account(const std::vector<RunTally>& runs, QString* error,
                 const std::vector<const RunTally*>* firsts = nullptr);
    bool Begin(QString* error);
    bool Commit(QString* error);
    bool LoadSteps(RunRecord& run, QString* error);
    // The steps and measurements of the runs by UUID, those picked by the condition `which`
    // on run_uuid with one bound value.
    bool LoadSteps(std::map<QString, RunRecord*>& runs, const char* which, const QVariant& value,
                   QString* error);

    QSqlDatabase db_;
    bool shared_;
    QString where_;
    int abandoned_ = 0;
};
