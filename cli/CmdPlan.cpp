// vr7c plan check: a production test plan read as the test would read it, without a module.

#include <QJsonArray>

#include "Commands.h"
#include "LineUnit.h"
#include "Output.h"
#include "Plan.h"

int RunPlan(const CliOptions& options, const Output& out) {
    if (options.arguments.size() != 2 || options.arguments[0] != QLatin1String("check")) {
        return out.Finish(Outcome::Fail(kExitUsage, QStringLiteral("usage: vr7c plan check FILE")));
    }
    const QString& file = options.arguments[1];
    PlanError error;
    const auto plan = ReadPlanFile(file, &error);
    if (!plan) {
        return out.Finish(Outcome::Fail(kExitBadFile, error.Text(file)));
    }
    if (const Outcome files = CheckPlanFiles(*plan, file); !files.ok()) {
        return out.Finish(files);
    }
    QJsonArray steps;
    for (const PlanStep& step : plan->steps) {
        QJsonObject shown{{"kind", QLatin1String(StepKindName(step.kind))},
                          {"name", step.name},
                          {"line", step.line}};
        if (!step.key.isEmpty()) {
            shown.insert(QStringLiteral("key"), step.key);  // a prompt's foot-switch key
        }
        steps.append(shown);
    }
    out.Line(QStringLiteral("%1: plan \"%2\" revision %3: %4 steps, files named: %5; good")
                 .arg(file, plan->name, plan->revision)
                 .arg(plan->steps.size())
                 .arg(plan->files.size()));
    out.Result({{"plan", plan->name},
                {"revision", plan->revision},
                {"steps", steps},
                {"files", QJsonArray::fromStringList(plan->files)}});
    return kExitOk;
}
