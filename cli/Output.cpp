#include "Output.h"

#include <QJsonDocument>

#include <cstdio>
#include <mutex>

#include <unistd.h>

namespace {

// The one lock of both streams: one line at a time, whichever slot writes it.
std::mutex& StreamLock() {
    static std::mutex lock;
    return lock;
}

void Write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const std::lock_guard hold(StreamLock());
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

Output Output::ForSlot(const QString& port, bool prefixed) const {
    Output slot(json_);
    slot.port_ = port;
    if (prefixed) {
        slot.prefix_ = port + QStringLiteral(": ");
    }
    return slot;
}

void Output::Line(const QString& text) const {
    if (!json_) {
        Write(stdout, prefix_ + text + QLatin1Char('\n'));
    }
}

void Output::Raw(const QString& text) const {
    Write(stdout, text);
}

void Output::Note(const QString& text) const {
    Write(stderr, prefix_ + text + QLatin1Char('\n'));
}

void Output::Error(const QString& text) const {
    Write(stderr, QStringLiteral("vr7c: ") + prefix_ + text + QLatin1Char('\n'));
}

void Output::Document(QJsonObject document) const {
    if (!json_) {
        return;
    }
    if (!port_.isEmpty()) {
        document.insert(QStringLiteral("port"), port_);
    }
    Write(stdout, QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Compact)) +
                      QLatin1Char('\n'));
}

void Output::Result(QJsonObject result) const {
    result.insert(QStringLiteral("ok"), true);
    Document(result);
}

int Output::Finish(const Outcome& outcome, QJsonObject document) const {
    if (outcome.ok()) {
        return kExitOk;
    }
    Error(outcome.message);
    document.insert(QStringLiteral("ok"), false);
    document.insert(QStringLiteral("exit_code"), outcome.code);
    document.insert(QStringLiteral("error"), outcome.message);
    Document(document);
    return outcome.code;
}

bool Output::Terminal(int fd) {
    return ::isatty(fd) == 1;
}
