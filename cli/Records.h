#pragma once

#include <QJsonObject>

#include <memory>

#include "CliOptions.h"
#include "ExitCode.h"
#include "RecordStore.h"
#include "SharedRecords.h"

// The bench's records file: --records FILE or the user's data folder.
std::unique_ptr<RecordStore> OpenBenchRecords(const CliOptions& options, Outcome& outcome);
// The shared store's address: --records postgresql://..., else the environment's
// VR7C_RECORDS_SHARED, else the settings file's [records] shared, else empty. An address from
// any of them that is not one, or holds a password, is refused: `outcome` says why.
QString SharedRecordsAddress(const CliOptions& options, Outcome& outcome);
std::unique_ptr<RecordStore> OpenSharedRecords(const QString& address, Outcome& outcome);

QJsonObject RunJson(const RunRecord& run);
QJsonObject StepJson(const StepRecord& step);
// "CH0 10mV  PASS  10.0010 mV in 9.98..10.02 (spread 0.0020)"
QString StepText(const StepRecord& step);
