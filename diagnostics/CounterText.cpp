#include "CounterText.h"

#include <QCoreApplication>

namespace {

QString Number(std::uint32_t n) {
    return QString::number(n);
}

QString ExceptionsByCode(const LineCounters& counters) {
    QString text;
    for (std::size_t code = 0; code < counters.exceptions.size(); ++code) {
        if (counters.exceptions[code] == 0) {
            continue;
        }
        if (!text.isEmpty()) {
            text += QCoreApplication::translate("CounterText", "，");
        }
        text += QStringLiteral("%1: %2")
                    .arg(static_cast<int>(code), 2, 16, QLatin1Char('0'))
                    .arg(counters.exceptions[code]);
    }
    return text.isEmpty() ? QStringLiteral("0")
                          : Number(counters.ExceptionTotal()) +
                                QCoreApplication::translate("CounterText", "（代码 ") +
                                text.toUpper() + QCoreApplication::translate("CounterText", "）");
}

}  // namespace

std::vector<CounterRow> CounterRows(const LineCounters& c, double pollsPerSecond,
                                    double pollLimit) {
    const ResponseTimes& t = c.responseTimes;
    const QString times = t.Count() == 0 ? QStringLiteral("—")
                                         : QStringLiteral("%1 / %2 / %3 / %4")
                                               .arg(t.Min())
                                               .arg(t.Mean(), 0, 'f', 1)
                                               .arg(t.Percentile95())
                                               .arg(t.Max());
    const QString rate = pollLimit <= 0.0
                             ? QStringLiteral("—")
                             : QCoreApplication::translate("CounterText", "%1 / %2（%3%）")
                                   .arg(pollsPerSecond, 0, 'f', 2)
                                   .arg(pollLimit, 0, 'f', 2)
                                   .arg(100.0 * pollsPerSecond / pollLimit, 0, 'f', 1);
    return {
        {QCoreApplication::translate("CounterText", "读请求"), Number(c.readsSent)},
        {QCoreApplication::translate("CounterText", "正确回复"), Number(c.goodReplies)},
        {QCoreApplication::translate("CounterText", "超时（无任何字节）"), Number(c.timeouts)},
        {QCoreApplication::translate("CounterText", "不完整回复"), Number(c.incomplete)},
        {QCoreApplication::translate("CounterText", "CRC 错误"), Number(c.crcErrors)},
        {QCoreApplication::translate("CounterText", "他站或他功能码回复"), Number(c.foreign)},
        {QCoreApplication::translate("CounterText", "异常回复"), ExceptionsByCode(c)},
        {QCoreApplication::translate("CounterText", "回复前多余字节"), Number(c.leadingBytes)},
        {QCoreApplication::translate("CounterText", "回复后多余字节"), Number(c.extraBytes)},
        {QCoreApplication::translate("CounterText", "回显不符"), Number(c.echoMismatches)},
        {QCoreApplication::translate("CounterText", "写入一次成功"), Number(c.writesFirstAttempt)},
        {QCoreApplication::translate("CounterText", "重试后写入成功"),
         Number(c.writesAfterRetries)},
        {QCoreApplication::translate("CounterText", "写入失败"), Number(c.writesFailed)},
        {QCoreApplication::translate("CounterText", "连接断开"), Number(c.connectionDrops)},
        {QCoreApplication::translate("CounterText", "响应时间 ms（最小/平均/95%/最大）"), times},
        {QCoreApplication::translate("CounterText", "正确轮询 次/秒（周期上限）"), rate},
    };
}
