#include "CounterText.h"

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
            text += QStringLiteral("，");
        }
        text += QStringLiteral("%1: %2")
                    .arg(static_cast<int>(code), 2, 16, QLatin1Char('0'))
                    .arg(counters.exceptions[code]);
    }
    return text.isEmpty() ? QStringLiteral("0")
                          : Number(counters.ExceptionTotal()) + QStringLiteral("（代码 ") +
                                text.toUpper() + QStringLiteral("）");
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
    const QString rate = pollLimit <= 0.0 ? QStringLiteral("—")
                                          : QStringLiteral("%1 / %2（%3%）")
                                                .arg(pollsPerSecond, 0, 'f', 2)
                                                .arg(pollLimit, 0, 'f', 2)
                                                .arg(100.0 * pollsPerSecond / pollLimit, 0, 'f', 1);
    return {
        {QStringLiteral("读请求"), Number(c.readsSent)},
        {QStringLiteral("正确回复"), Number(c.goodReplies)},
        {QStringLiteral("超时（无任何字节）"), Number(c.timeouts)},
        {QStringLiteral("不完整回复"), Number(c.incomplete)},
        {QStringLiteral("CRC 错误"), Number(c.crcErrors)},
        {QStringLiteral("他站或他功能码回复"), Number(c.foreign)},
        {QStringLiteral("异常回复"), ExceptionsByCode(c)},
        {QStringLiteral("回复前多余字节"), Number(c.leadingBytes)},
        {QStringLiteral("回复后多余字节"), Number(c.extraBytes)},
        {QStringLiteral("回显不符"), Number(c.echoMismatches)},
        {QStringLiteral("写入一次成功"), Number(c.writesFirstAttempt)},
        {QStringLiteral("重试后写入成功"), Number(c.writesAfterRetries)},
        {QStringLiteral("写入失败"), Number(c.writesFailed)},
        {QStringLiteral("断线（适配器拔出或网络断开）"), Number(c.lineDrops)},
        {QStringLiteral("响应时间 ms（最小/平均/95%/最大）"), times},
        {QStringLiteral("正确轮询 次/秒（周期上限）"), rate},
    };
}
