#include "Certificate.h"

namespace {

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

// The Chinese faces the console draws in, then whatever the reader has.
constexpr char kFaces[] =
    "'AR PL UMing CN', 'SimSun', '宋体', 'Noto Serif CJK SC', 'Noto Sans CJK SC', serif";

QString Colour(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return QStringLiteral("#007a00");
        case Verdict::Marginal:
            return QStringLiteral("#a06000");
        case Verdict::Skipped:
            return QStringLiteral("#666666");
        default:
            return QStringLiteral("#c00000");
    }
}

QString Number(double value) {
    return QString::number(value, 'g', 8);
}

// "9.98 … 10.02 mV", with the marginal band and the spread allowed when the plan has them.
QString LimitsText(const MeasurementRecord& m) {
    QString text = QStringLiteral("%1 … %2").arg(Number(m.limits.low), Number(m.limits.high));
    if (m.limits.marginalLow || m.limits.marginalHigh) {
        text +=
            QStringLiteral("<br><small>临界 %1 … %2</small>")
                .arg(m.limits.marginalLow ? Number(*m.limits.marginalLow) : QStringLiteral("-"),
                     m.limits.marginalHigh ? Number(*m.limits.marginalHigh) : QStringLiteral("-"));
    }
    if (m.limits.spread) {
        text += QStringLiteral("<br><small>离散 ≤ %1</small>").arg(Number(*m.limits.spread));
    }
    return text;
}

QString ValueText(const MeasurementRecord& m) {
    if (m.samples.empty()) {
        return QStringLiteral("-");
    }
    QString text = Number(m.mean);
    if (m.samples.size() > 1) {
        text += QStringLiteral("<br><small>%1 次, 离散 %2</small>")
                    .arg(m.samples.size())
                    .arg(QString::number(m.spread, 'g', 4));
    }
    return text;
}

QString StepRow(const StepRecord& s) {
    const QString cell = QStringLiteral("<td style=\"border: 1px solid #888; padding: 3px;\">");
    QString row = QStringLiteral("<tr>") + cell + QString::number(s.seq) + QStringLiteral("</td>");
    row += cell + Escaped(s.name.isEmpty() ? s.kind : s.name);
    if (!s.message.isEmpty()) {
        row += QStringLiteral("<br><small>") + Escaped(s.message) + QStringLiteral("</small>");
    }
    row += QStringLiteral("</td>");
    if (const auto& m = s.measurement) {
        row += cell + ValueText(*m) + QStringLiteral("</td>") + cell + LimitsText(*m) +
               QStringLiteral("</td>") + cell + Escaped(m->unit) + QStringLiteral("</td>");
    } else {
        row += cell + QStringLiteral("</td>") + cell + QStringLiteral("</td>") + cell +
               QStringLiteral("</td>");
    }
    row += QStringLiteral(
               "<td style=\"border: 1px solid #888; padding: 3px; color: %1;\"><b>%2</b>"
               "</td></tr>\n")
               .arg(Colour(s.verdict), QLatin1String(VerdictName(s.verdict)));
    return row;
}

QString FieldRow(const QString& label, const QString& value) {
    return QStringLiteral(
               "<tr><td style=\"padding: 2px 12px 2px 0; color: #444;\">%1</td>"
               "<td style=\"padding: 2px 0;\">%2</td></tr>\n")
        .arg(label, value.isEmpty() ? QStringLiteral("-") : Escaped(value));
}

}  // namespace

QString CertificateVerdict(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return QStringLiteral("合格");
        case Verdict::Marginal:
            return QStringLiteral("合格 (临界)");
        case Verdict::Fail:
            return QStringLiteral("不合格");
        case Verdict::Error:
            return QStringLiteral("错误");
        case Verdict::Aborted:
            return QStringLiteral("中止");
        case Verdict::Skipped:
        case Verdict::Running:
            break;
    }
    return QStringLiteral("未完成");
}

QString CertificateHtml(const RunRecord& run) {
    QString html = QStringLiteral(
                       "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n"
                       "<title>VR7C-20NP 测试证书 %1</title>\n"
                       "<style>@page { size: A4; margin: 15mm; } body { font-family: %2; "
                       "font-size: 10pt; color: #000; }</style>\n</head>\n<body>\n")
                       .arg(Escaped(run.serial), QLatin1String(kFaces));
    html += QStringLiteral(
        "<h1 style=\"font-size: 18pt; text-align: center; margin: 0 0 4px 0;\">VR7C-20NP "
        "六通道模拟量模块 测试证书</h1>\n"
        "<p style=\"text-align: center; margin: 0 0 12px 0; color: #444;\">Test certificate</p>\n");
    html += QStringLiteral("<table style=\"margin-bottom: 10px;\">\n");
    html += FieldRow(QStringLiteral("产品序列号 Serial number"), run.serial);
    html += FieldRow(QStringLiteral("芯片 ID Chip ID"), run.chipId);
    html += FieldRow(QStringLiteral("测试方案 Plan"),
                     QStringLiteral("%1  (rev %2)").arg(run.planName, run.planRevision));
    html += FieldRow(QStringLiteral("测试时间 Date"),
                     run.started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")));
    html += FieldRow(QStringLiteral("测试台 Bench"), run.bench);
    html += FieldRow(QStringLiteral("操作员 Operator"), run.operatorName);
    html += FieldRow(QStringLiteral("固件版本 Firmware"), run.firmwareVersion);
    html += FieldRow(QStringLiteral("固件 CRC-32 Image CRC"), run.imageCrc32);
    html += FieldRow(QStringLiteral("记录 Run"), run.uuid);
    html += QStringLiteral("</table>\n");
    html += QStringLiteral(
        "<table style=\"border-collapse: collapse; width: 100%;\" width=\"100%\" "
        "cellspacing=\"0\">\n"
        "<tr style=\"background: #e8e8e8;\">"
        "<th style=\"border: 1px solid #888; padding: 3px;\">#</th>"
        "<th style=\"border: 1px solid #888; padding: 3px;\">项目 Step</th>"
        "<th style=\"border: 1px solid #888; padding: 3px;\">测量值 Value</th>"
        "<th style=\"border: 1px solid #888; padding: 3px;\">限值 Limits</th>"
        "<th style=\"border: 1px solid #888; padding: 3px;\">单位 Unit</th>"
        "<th style=\"border: 1px solid #888; padding: 3px;\">判定 Verdict</th></tr>\n");
    for (const StepRecord& s : run.steps) {
        html += StepRow(s);
    }
    html += QStringLiteral("</table>\n");
    html += QStringLiteral(
                "<h2 style=\"font-size: 22pt; text-align: center; margin-top: 18px; color: %1;\">"
                "结论 Result: %2 (%3)</h2>\n")
                .arg(Colour(run.result), CertificateVerdict(run.result),
                     QLatin1String(VerdictName(run.result)));
    html += QStringLiteral("<p style=\"font-size: 8pt; color: #666;\">%1  %2</p>\n")
                .arg(Escaped(run.programVersion.isEmpty()
                                 ? QString()
                                 : QStringLiteral("vr7c ") + run.programVersion),
                     Escaped(run.planSha256.isEmpty()
                                 ? QString()
                                 : QStringLiteral("plan SHA-256 ") + run.planSha256));
    html += QStringLiteral("</body></html>\n");
    return html;
}
