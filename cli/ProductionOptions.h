#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>

// The options of the production commands: plan, records and test.
struct ProductionOptions {
    QString recordsFile;               // --records FILE (default: the user's data folder)
    QString sharedAddress;             // --records postgresql://... (or the settings file)
    QString serial;                    // --serial
    QString since;                     // records list --since
    QString result;                    // records list --result
    QString plan;                      // records list --plan; test --plan FILE
    int limit = 0;                     // records list --limit
    QString csvFile;                   // records export --csv FILE
    QString htmlFile;                  // records report --html FILE
    std::uint32_t resetPauseMs = 500;  // test: the DTR/RTS sequence before a flash step
};

bool IsProductionCommand(const QString& command);
void AddProductionOptions(QCommandLineParser& parser, const QString& command);
// Reads them; empty, or the usage error.
QString ReadProductionOptions(const QCommandLineParser& parser, const QString& command,
                              ProductionOptions& o);
