#include "ProductionOptions.h"

#include "RecordStore.h"

namespace {

QCommandLineOption Option(const char* name, const char* text, const char* value = nullptr) {
    QCommandLineOption option(QString::fromLatin1(name), QString::fromUtf8(text));
    if (value) {
        option.setValueName(QString::fromLatin1(value));
    }
    return option;
}

}  // namespace

bool IsProductionCommand(const QString& command) {
    return command == QLatin1String("plan") || command == QLatin1String("records") ||
           command == QLatin1String("test");
}

void AddProductionOptions(QCommandLineParser& parser, const QString& command) {
    if (command == QLatin1String("plan")) {
        return;
    }
    parser.addOption(Option("records",
                            "Records file (default in the user's data folder), or a "
                            "postgresql://user@host:port/database shared store; may be given "
                            "twice, once for each.",
                            "FILE|URL"));
    parser.addOption(Option("serial", "The unit's serial number.", "SN"));
    if (command == QLatin1String("records")) {
        parser.addOption(
            Option("since", "list: runs started at or after this UTC date or time.", "DATE"));
        parser.addOption(Option("result",
                                "list: runs with this result (PASS, MARGINAL, FAIL, "
                                "ERROR, ABORTED).",
                                "RESULT"));
        parser.addOption(Option("plan", "list: runs of this plan (by name).", "NAME"));
        parser.addOption(
            Option("limit", "list: at most N runs, newest first (default 100, 0 all).", "N"));
        parser.addOption(Option("csv", "export: the CSV file to write.", "FILE"));
        parser.addOption(Option("html", "report: the certificate's HTML file to write.", "FILE"));
    } else {
        parser.addOption(Option("plan", "The test plan (TOML).", "FILE"));
        parser.addOption(Option("repeat", "After each unit take the next serial number and unit."));
        parser.addOption(Option("count", "With --repeat: stop after N units per slot.", "N"));
        parser.addOption(Option("reset-pause",
                                "Pauses of the DTR/RTS sequence before a flash step, in ms "
                                "(default 500).",
                                "MS"));
    }
}

QString ReadProductionOptions(const QCommandLineParser& parser, const QString& command,
                              ProductionOptions& o) {
    if (command == QLatin1String("plan")) {
        return {};
    }
    for (const QString& where : parser.values(QStringLiteral("records"))) {
        QString& slot = IsSharedAddress(where) ? o.sharedAddress : o.recordsFile;
        if (!slot.isEmpty()) {
            return QStringLiteral("--records names one file and one shared store at most");
        }
        if (IsSharedAddress(where)) {
            QString why;
            if (!ParseSharedAddress(where, &why)) {
                return QStringLiteral("--records: %1").arg(why);
            }
        }
        slot = where;
    }
    if (parser.isSet(QStringLiteral("serial"))) {
        o.serial = parser.value(QStringLiteral("serial"));
        if (const QString why = SerialNumberProblem(o.serial); !why.isEmpty()) {
            return QStringLiteral("--serial: %1").arg(why);
        }
    }
    o.plan = parser.value(QStringLiteral("plan"));
    if (command == QLatin1String("records")) {
        o.since = parser.value(QStringLiteral("since"));
        o.result = parser.value(QStringLiteral("result")).toUpper();
        o.csvFile = parser.value(QStringLiteral("csv"));
        o.htmlFile = parser.value(QStringLiteral("html"));
        if (!o.result.isEmpty() && !VerdictFromName(o.result)) {
            return QStringLiteral("--result must be PASS, MARGINAL, FAIL, ERROR or ABORTED");
        }
        if (const QDateTime t = QDateTime::fromString(o.since, Qt::ISODate); t.isValid()) {
            // As the records write their start times.
            o.since = t.toUTC().toString(Qt::ISODateWithMs);
        } else if (!o.since.isEmpty() && !QDate::fromString(o.since, Qt::ISODate).isValid()) {
            return QStringLiteral(
                "--since must be a date or time as 2026-12-09 or "
                "2026-12-09T08:00:00Z");
        }
        bool ok = true;
        o.limit = parser.isSet(QStringLiteral("limit"))
                      ? parser.value(QStringLiteral("limit")).toInt(&ok)
                      : 100;
        if (!ok || o.limit < 0) {
            return QStringLiteral("--limit must be a number 0 or above");
        }
    } else {
        if (o.plan.isEmpty()) {
            return QStringLiteral("test needs --plan FILE");
        }
        if (parser.isSet(QStringLiteral("reset-pause"))) {
            bool ok = false;
            const uint ms = parser.value(QStringLiteral("reset-pause")).toUInt(&ok);
            if (!ok || ms > 5000) {
                return QStringLiteral("--reset-pause must be a number 0 to 5000");
            }
            o.resetPauseMs = ms;
        }
    }
    return {};
}
