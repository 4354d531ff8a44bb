#include "CsvWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// Writes all of data; gives 0 or the errno of the failed write.
int WriteAll(int fd, const QByteArray& data) {
    const char* at = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, static_cast<std::size_t>(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        at += written;
        left -= written;
    }
    return 0;
}

QString WriteFailure(const QString& path, int error) {
    if (error == ENOSPC || error == EDQUOT) {
        return QStringLiteral("磁盘已满，记录已停止。\n文件: %1").arg(path);
    }
    return QStringLiteral("写入记录文件失败，记录已停止。\n文件: %1\n原因: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

CsvWriter::CsvWriter(QObject* context, ErrorHandler onError)
    : context_(context), onError_(std::move(onError)) {}

CsvWriter::~CsvWriter() {
    Stop();
}

bool CsvWriter::Start(const QString& path, const QByteArray& first, QString* error) {
    Stop();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error != nullptr) {
            *error = QStringLiteral("无法创建记录文件。\n文件: %1\n原因: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        }
        return false;
    }
    path_ = path;
    folder_ = QFileInfo(path).absolutePath();
    rowsQueued_ = 0;
    pending_ = first;
    stopping_ = false;
    failed_ = false;
    running_ = true;
    thread_ = std::thread([this, fd] { Run(fd); });
    return true;
}

void CsvWriter::Append(const QByteArray& row) {
    if (!running_) {
        return;
    }
    ++rowsQueued_;
    const std::lock_guard lock(mutex_);
    if (!failed_) {
        pending_ += row;
    }
}

void CsvWriter::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    running_ = false;
}

void CsvWriter::Fail(const QString& message) {
    {
        const std::lock_guard lock(mutex_);
        failed_ = true;
        pending_.clear();
    }
    if (context_ == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        context_.data(),
        [this, message] {
            running_ = false;
            if (onError_) {
                onError_(message);
            }
        },
        Qt::QueuedConnection);
}

void CsvWriter::Run(int fd) {
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    QByteArray batch;
    for (;;) {
        bool stop = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(kWriteIntervalMs),
                           [this] { return stopping_; });
            stop = stopping_;
            batch.swap(pending_);
            pending_.clear();
        }
        if (const int error = WriteAll(fd, batch); error != 0) {
            Fail(WriteFailure(path_, error));
            break;
        }
        batch.clear();
        if (stop || Clock::now() - lastSync >= std::chrono::milliseconds(kSyncIntervalMs)) {
            lastSync = Clock::now();
            if (::fdatasync(fd) != 0 && errno != EINVAL) {
                Fail(WriteFailure(path_, errno));
                break;
            }
            // A file whose folder was removed (or whose drive went away) takes writes that
            // nobody will ever read: stop instead.
            if (!QFileInfo::exists(path_)) {
                Fail(QStringLiteral("记录文件或其所在的文件夹已不存在，记录已停止。\n文件: %1")
                         .arg(path_));
                break;
            }
        }
        if (stop) {
            break;
        }
    }
    ::close(fd);
}
