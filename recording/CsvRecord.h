#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

// The rows of a recording: one per good poll, the six channels as the live grid shows them.

struct ChannelRecord {
    QString acquired;  // voltage (mV) or resistance (Ω)
    QString measured;  // temperature (℃) or weight (KG)
    QString setPoint;  // set temperature (℃)
    QString output;    // output percentage, without the "%"
    bool on = false;   // output state
};

struct RecordRow {
    QDateTime time;
    std::uint32_t goodPolls = 0;
    std::array<ChannelRecord, 6> channels;
    QString coldJunction;  // ℃
};

inline constexpr int kRawRecordRegisters = 100;

// The header row for the conversion mode of the module's register 86 (0 thermocouple,
// 1 PT100, 2 and above load cell), as the live grid labels its values; with raw, the names
// of registers 0 to 99 follow.
QByteArray CsvHeader(std::uint16_t conversionMode, bool raw);
// One row; raw (registers 0 to 99) is appended when given.
QByteArray CsvRow(const RecordRow& row, const std::uint16_t* raw);
// The byte-order mark that lets spreadsheet programs read the file as UTF-8.
QByteArray Utf8Bom();
// The file name of a recording started at start: "VR7C-20NP_20261208_125117.csv".
QString RecordFileName(const QDateTime& start);
