#include "CsvRecord.h"

namespace {

QString ChannelName(int channel) {
    return QStringLiteral("AD%1 ").arg(channel);
}

}  // namespace

QByteArray CsvHeader(std::uint16_t conversionMode, bool raw) {
    const QString acquired =
        conversionMode == 1 ? QStringLiteral("采集电阻(Ω)") : QStringLiteral("采集电压(mV)");
    const QString measured =
        conversionMode >= 2 ? QStringLiteral("对应重量(KG)") : QStringLiteral("对应温度(℃)");
    QString header = QStringLiteral("时间,通信计数");
    for (int channel = 0; channel < 6; ++channel) {
        const QString name = ChannelName(channel);
        header += QLatin1Char(',') + name + acquired + QLatin1Char(',') + name + measured +
                  QLatin1Char(',') + name + QStringLiteral("设定温度(℃),") + name +
                  QStringLiteral("控制输出(%),") + name + QStringLiteral("输出状态");
    }
    header += QStringLiteral(",冷端温度(℃)");
    if (raw) {
        for (int reg = 0; reg < kRawRecordRegisters; ++reg) {
            header += QStringLiteral(",4x%1").arg(reg, 4, 10, QLatin1Char('0'));
        }
    }
    header += QStringLiteral("\r\n");
    return header.toUtf8();
}

QByteArray CsvRow(const RecordRow& row, const std::uint16_t* raw) {
    QByteArray line = row.time.toString(Qt::ISODateWithMs).toLatin1();
    line += ',';
    line += QByteArray::number(row.goodPolls);
    for (const ChannelRecord& channel : row.channels) {
        for (const QString* text :
             {&channel.acquired, &channel.measured, &channel.setPoint, &channel.output}) {
            line += ',';
            line += text->toLatin1();
        }
        line += channel.on ? ",ON" : ",OFF";
    }
    line += ',';
    line += row.coldJunction.toLatin1();
    if (raw != nullptr) {
        for (int reg = 0; reg < kRawRecordRegisters; ++reg) {
            line += ',';
            line += QByteArray::number(raw[reg]);
        }
    }
    line += "\r\n";
    return line;
}

QByteArray Utf8Bom() {
    return QByteArray("\xEF\xBB\xBF");
}

QString RecordFileName(const QDateTime& start) {
    return QStringLiteral("VR7C-20NP_%1.csv")
        .arg(start.toString(QStringLiteral("yyyyMMdd_HHmmss")));
}
