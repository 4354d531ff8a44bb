#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "RunRecord.h"

class RecordStore;

// The line's shared store as the console and vr7c find it, and the copying of a bench's queued
// runs to it. Each call opens its own connections, so that it can run on a thread of its own:
// a server that is away or hangs must not hold a window.

// The environment variable through which vr7c test hands the shared store's address to the
// copy it starts: unlike a command line, the environment is not shown to other users.
inline constexpr char kSharedRecordsVariable[] = "VR7C_RECORDS_SHARED";
// Seconds a call to the shared store may take.
inline constexpr int kSharedTimeoutS = 5;

// The address this user set up: VR7C_RECORDS_SHARED, else `shared` under [records] in vr7c's
// settings file; empty when none. `source` names where it came from, for messages.
QString ConfiguredSharedAddress(QString* source = nullptr);

// What copying the queued runs came to.
struct SyncOutcome {
    int copied = 0;
    int queued = 0;  // runs still waiting afterwards
    QString error;   // empty when the store took every run
};

// Copies the bench file's finished runs that the shared store does not have yet.
SyncOutcome SyncQueuedRuns(const QString& benchFile, const QString& sharedAddress);

// The runs of the last `days` days (at most `most`), newest first, each whole, from the bench
// file or, with an address, from the shared store. None with the reason.
std::optional<std::vector<RunRecord>> LoadRecentRuns(const QString& benchFile,
                                                     const QString& sharedAddress, int days,
                                                     int most, QString* error);
