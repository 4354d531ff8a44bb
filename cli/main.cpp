// vr7c: the VR7C-20NP module from the command line, for production lines and scripts.

#include <QCoreApplication>

#include <cstdio>

#include "CliOptions.h"
#include "ComPorts.h"
#include "Commands.h"
#include "Output.h"
#include "PortList.h"

int RunCommand(const CliOptions& options) {
    const Output out(options.json);
    const QString& c = options.command;
    if (c == QLatin1String("ports")) {
        return RunPorts(options, out);
    }
    if (c == QLatin1String("scan")) {
        return RunScan(options, out);
    }
    if (c == QLatin1String("read")) {
        return RunRead(options, out);
    }
    if (c == QLatin1String("watch")) {
        return RunWatch(options, out);
    }
    if (c == QLatin1String("write")) {
        return RunWrite(options, out);
    }
    if (c == QLatin1String("config")) {
        return RunConfig(options, out);
    }
    if (c == QLatin1String("flash")) {
        return RunFlash(options, out);
    }
    if (c == QLatin1String("plan")) {
        return RunPlan(options, out);
    }
    if (c == QLatin1String("records")) {
        return RunRecords(options, out);
    }
    if (c == QLatin1String("test")) {
        return RunTest(options, out);
    }
    return RunCommission(options, out);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vr7c"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VR7C_VERSION));
    const ParsedCommandLine parsed = ParseCommandLine(QCoreApplication::arguments());
    if (parsed.finished) {
        const QByteArray text = parsed.text.toUtf8();
        std::fputs(text.constData(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }
    // COMn means what it means in the console.
    CliOptions options = parsed.options;
    options.deviceLookup = MachinePorts().DeviceLookup();
    return RunCommand(options);
}
