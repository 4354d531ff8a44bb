#include "Output.h"

#include <QJsonDocument>

#include <cstdio>

#include <unistd.h>

namespace {

void Write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

void Output::Line(const QString& text) const {
    if (!json_) {
        Write(stdout, text + QLatin1Char('\n'));
    }
}

void Output::Raw(const QString& text) const {
    Write(stdout, text);
}

void Output::Note(const QString& text) const {
    Write(stderr, text + QLatin1Char('\n'));
}

void Output::Result(QJsonObject result) const {
    if (json_) {
        result.insert(QStringLiteral("ok"), true);
        Write(stdout, QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact)) +
                          QLatin1Char('\n'));
    }
}

int Output::Finish(const Outcome& outcome) const {
    if (outcome.ok()) {
        return kExitOk;
    }
    Write(stderr, QStringLiteral("vr7c: ") + outcome.message + QLatin1Char('\n'));
    if (json_) {
        const QJsonObject failure{
            {"ok", false}, {"exit_code", outcome.code}, {"error", outcome.message}};
        Write(stdout, QString::fromUtf8(QJsonDocument(failure).toJson(QJsonDocument::Compact)) +
                          QLatin1Char('\n'));
    }
    return outcome.code;
}

bool Output::Terminal(int fd) {
    return ::isatty(fd) == 1;
}
