#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Writes a recording on a thread of its own, so that a slow or stuck disk never delays a
// polling tick. Rows handed over by Append are written and flushed to the disk at least
// every second; a failed write (a full disk) or a file whose folder has gone stops the
// writer, and the error is reported once, on the thread of the context object.
class CsvWriter {
public:
    using ErrorHandler = std::function<void(const QString& message)>;

    CsvWriter(QObject* context, ErrorHandler onError);
    ~CsvWriter();
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    // Creates the file (or appends to it) and queues the first bytes (the byte-order
    // mark and the header). False, with error set, when the file cannot be created.
    bool Start(const QString& path, const QByteArray& first, QString* error);
    // Queues one row; dropped when the writer is not running.
    void Append(const QByteArray& row);
    // Writes what is queued and closes the file.
    void Stop();

    bool Running() const { return running_; }
    const QString& Path() const { return path_; }
    // Rows handed to Append since Start.
    std::uint64_t RowsQueued() const { return rowsQueued_; }

    // How often queued rows are written, and the data synced to the disk.
    static constexpr int kWriteIntervalMs = 250;
    static constexpr int kSyncIntervalMs = 1000;

private:
    void Run(int fd);
    void Fail(const QString& message);

    QPointer<QObject> context_;
    ErrorHandler onError_;
    QString path_;
    QString folder_;
    bool running_ = false;
    std::uint64_t rowsQueued_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    QByteArray pending_;
    bool stopping_ = false;
    bool failed_ = false;
    std::thread thread_;
};
