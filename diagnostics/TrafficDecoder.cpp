#include "TrafficDecoder.h"

#include <QCoreApplication>

#include "ReplyJudge.h"

namespace {

constexpr std::uint8_t kSync = 0x7F;

int Word(const TrafficFrame& frame, int at) {
    return frame.bytes[at] * 256 + frame.bytes[at + 1];
}

QString Reference(int address) {
    return QStringLiteral("4x%1").arg(address, 4, 10, QLatin1Char('0'));
}

QString Hex2(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// Where the station (RTU) or unit id (Modbus TCP) stands: a Modbus TCP frame carries the
// MBAP header in front, whose transaction id is shown before the rest.
int UnitAt(const TrafficFrame& f) {
    return IsMbapFrame(f.bytes, f.KeptBytes()) ? 6 : 0;
}

QString TransactionText(const TrafficFrame& f, int at) {
    return at == 0 ? QString()
                   : QCoreApplication::translate("TrafficDecoder", "事务 %1 ").arg(Word(f, 0));
}

QString ModbusRequest(const TrafficFrame& f) {
    const int at = UnitAt(f);
    const int n = f.KeptBytes() - at;
    const QString transaction = TransactionText(f, at);
    if (n >= 6 && (f.bytes[at + 1] == 3 || f.bytes[at + 1] == 4)) {
        const int first = Word(f, at + 2);
        const int last = first + Word(f, at + 4) - 1;
        const QString kind = f.bytes[at + 1] == 3 ? QStringLiteral("4x") : QStringLiteral("3x");
        return transaction + QCoreApplication::translate("TrafficDecoder", "读 %1%2..%1%3 站 %4")
                                 .arg(kind)
                                 .arg(first, 4, 10, QLatin1Char('0'))
                                 .arg(last, 4, 10, QLatin1Char('0'))
                                 .arg(f.bytes[at]);
    }
    if (n >= 6 && f.bytes[at + 1] == 6) {
        return transaction + QCoreApplication::translate("TrafficDecoder", "写 %1 = %2")
                                 .arg(Reference(Word(f, at + 2)))
                                 .arg(Word(f, at + 4));
    }
    return transaction + QCoreApplication::translate("TrafficDecoder", "功能码 %1，%2 字节")
                             .arg(n >= 2 ? f.bytes[at + 1] : 0)
                             .arg(f.length);
}

QString TakenModbusReply(const TrafficFrame& f) {
    const int at = UnitAt(f);
    const int n = f.KeptBytes() - at;
    if (n >= 6 && f.bytes[at + 1] == 6) {
        return TransactionText(f, at) +
               QCoreApplication::translate("TrafficDecoder", "回复 写 %1 = %2")
                   .arg(Reference(Word(f, at + 2)))
                   .arg(Word(f, at + 4));
    }
    const int byteCount = n >= 3 ? f.bytes[at + 2] : 0;
    const QString text =
        at == 0
            ? QCoreApplication::translate("TrafficDecoder", "回复 %1 字节 CRC 正确").arg(byteCount)
            : TransactionText(f, at) +
                  QCoreApplication::translate("TrafficDecoder", "回复 %1 字节").arg(byteCount);
    if (f.verdict == Verdict::Foreign && n >= 2) {
        return text + QCoreApplication::translate("TrafficDecoder", "，来自 站 %1 功能码 %2")
                          .arg(f.bytes[at])
                          .arg(f.bytes[at + 1]);
    }
    return text;
}

// A Modbus TCP gateway's own exceptions are named: its path to the module, or the module
// behind it, failed.
QString ExceptionText(std::uint16_t code) {
    const QString text =
        QCoreApplication::translate("TrafficDecoder", "回复异常 %1").arg(Hex2(code));
    switch (code) {
        case 0x0A:
            return text + QCoreApplication::translate("TrafficDecoder", "（网关无通路）");
        case 0x0B:
            return text + QCoreApplication::translate("TrafficDecoder", "（网关后的模块无回复）");
        default:
            return text;
    }
}

QString ModbusReply(const TrafficFrame& f) {
    switch (f.verdict) {
        case Verdict::Good:
        case Verdict::Foreign:
            return TakenModbusReply(f);
        case Verdict::Timeout:
            return QCoreApplication::translate("TrafficDecoder", "无回复");
        case Verdict::Incomplete:
            return QCoreApplication::translate("TrafficDecoder", "不完整 %1 字节").arg(f.length);
        case Verdict::Late:
            return QCoreApplication::translate("TrafficDecoder", "回复过迟");
        case Verdict::BadCrc:
            return QCoreApplication::translate("TrafficDecoder", "CRC 错误");
        case Verdict::Exception:
            return ExceptionText(f.detail);
        case Verdict::LeadingBytes:
            return QCoreApplication::translate("TrafficDecoder", "多余字节 %1（在回复前）")
                .arg(f.detail);
        case Verdict::ExtraBytes:
            return QCoreApplication::translate("TrafficDecoder", "多余字节 %1").arg(f.detail);
        case Verdict::EchoMismatch:
            return QCoreApplication::translate("TrafficDecoder", "回显不符");
        case Verdict::None:
        case Verdict::Nack:
        case Verdict::Rejected:
            break;
    }
    return QCoreApplication::translate("TrafficDecoder", "%1 字节").arg(f.length);
}

QString CommandName(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return QStringLiteral("Get");
        case 0x01:
            return QStringLiteral("Get Version");
        case 0x02:
            return QStringLiteral("Get ID");
        case 0x11:
            return QCoreApplication::translate("TrafficDecoder", "读内存");
        case 0x21:
            return QStringLiteral("Go");
        case 0x31:
            return QCoreApplication::translate("TrafficDecoder", "写内存");
        case 0x43:
            return QCoreApplication::translate("TrafficDecoder", "擦除");
        case 0x44:
            return QCoreApplication::translate("TrafficDecoder", "扩展擦除");
        default:
            return {};
    }
}

bool IsCommand(const TrafficFrame& f) {
    return f.length == 2 && static_cast<std::uint8_t>(~f.bytes[0]) == f.bytes[1];
}

bool IsAddressFrame(const TrafficFrame& f) {
    return f.length == 5 && (f.bytes[0] ^ f.bytes[1] ^ f.bytes[2] ^ f.bytes[3]) == f.bytes[4];
}

std::uint32_t Address(const TrafficFrame& f) {
    return static_cast<std::uint32_t>(f.bytes[0]) << 24 |
           static_cast<std::uint32_t>(f.bytes[1]) << 16 |
           static_cast<std::uint32_t>(f.bytes[2]) << 8 | f.bytes[3];
}

QString AddressText(std::uint32_t address) {
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(address, 8, 16, QLatin1Char('0')).toUpper();
}

QString BootloaderRequest(const TrafficFrame& f, const TrafficFrame* previous) {
    if (f.length == 1 && f.bytes[0] == kSync) {
        return QCoreApplication::translate("TrafficDecoder", "同步");
    }
    const bool afterErase =
        previous != nullptr && IsCommand(*previous) && previous->bytes[0] == 0x43;
    const bool afterAddress = previous != nullptr && IsAddressFrame(*previous);
    if (IsCommand(f) && !afterAddress) {
        const QString name = CommandName(f.bytes[0]);
        if (!name.isEmpty()) {
            return name;
        }
    }
    if (IsAddressFrame(f)) {
        return QCoreApplication::translate("TrafficDecoder", "地址 %1")
            .arg(AddressText(Address(f)));
    }
    const int count = f.bytes[0] + 1;
    if (afterErase && f.length == count + 2) {
        return QCoreApplication::translate("TrafficDecoder", "擦除 %1 页").arg(count);
    }
    if (afterAddress && IsCommand(f)) {
        return QCoreApplication::translate("TrafficDecoder", "读 %1 字节").arg(count);
    }
    if (f.length == count + 2) {
        if (afterAddress) {
            return QCoreApplication::translate("TrafficDecoder", "写 %1 %2 字节")
                .arg(AddressText(Address(*previous)))
                .arg(count);
        }
        return QCoreApplication::translate("TrafficDecoder", "写 %1 字节").arg(count);
    }
    return QCoreApplication::translate("TrafficDecoder", "%1 字节").arg(f.length);
}

QString BootloaderReply(const TrafficFrame& f) {
    switch (f.verdict) {
        case Verdict::Timeout:
            return QCoreApplication::translate("TrafficDecoder", "无回复");
        case Verdict::Nack:
            return QStringLiteral("NACK");
        case Verdict::Rejected:
            return QCoreApplication::translate("TrafficDecoder", "不符 %1 字节").arg(f.length);
        default:
            break;
    }
    const int n = f.KeptBytes();
    if (n == 15 && f.bytes[1] == 0x0B) {
        return QCoreApplication::translate("TrafficDecoder", "ACK，Boot:%1.%2")
            .arg(f.bytes[2] >> 4)
            .arg(f.bytes[2] & 0x0F);
    }
    if (n == 5 && f.bytes[1] == 0x01) {
        return QCoreApplication::translate("TrafficDecoder", "ACK，ID 0x%1%2")
            .arg(Hex2(f.bytes[2]), Hex2(f.bytes[3]));
    }
    if (n > 1 && f.bytes[0] == kBootAck) {
        return QCoreApplication::translate("TrafficDecoder", "ACK，%1 字节数据").arg(n - 1);
    }
    return QStringLiteral("ACK");
}

}  // namespace

QString DecodeFrame(const TrafficFrame& frame, const TrafficFrame* previousSent) {
    const bool sent = frame.direction == TrafficDirection::Sent;
    if (frame.link == TrafficLink::Bootloader) {
        return sent ? BootloaderRequest(frame, previousSent) : BootloaderReply(frame);
    }
    return sent ? ModbusRequest(frame) : ModbusReply(frame);
}

QString VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::None:
            return {};
        case Verdict::Good:
            return QCoreApplication::translate("TrafficDecoder", "正确");
        case Verdict::Foreign:
            return QCoreApplication::translate("TrafficDecoder", "他站回复");
        case Verdict::Timeout:
            return QCoreApplication::translate("TrafficDecoder", "超时");
        case Verdict::Incomplete:
            return QCoreApplication::translate("TrafficDecoder", "不完整");
        case Verdict::BadCrc:
            return QCoreApplication::translate("TrafficDecoder", "CRC 错误");
        case Verdict::Exception:
            return QCoreApplication::translate("TrafficDecoder", "异常回复");
        case Verdict::LeadingBytes:
            return QCoreApplication::translate("TrafficDecoder", "前有多余字节");
        case Verdict::ExtraBytes:
            return QCoreApplication::translate("TrafficDecoder", "多余字节");
        case Verdict::EchoMismatch:
            return QCoreApplication::translate("TrafficDecoder", "回显不符");
        case Verdict::Nack:
            return QStringLiteral("NACK");
        case Verdict::Rejected:
            return QCoreApplication::translate("TrafficDecoder", "不符");
        case Verdict::Late:
            return QCoreApplication::translate("TrafficDecoder", "过迟");
    }
    return {};
}

QString DirectionText(TrafficDirection direction) {
    return direction == TrafficDirection::Sent
               ? QCoreApplication::translate("TrafficDecoder", "发送")
               : QCoreApplication::translate("TrafficDecoder", "接收");
}

QString LinkText(TrafficLink link) {
    return link == TrafficLink::Modbus ? QCoreApplication::translate("TrafficDecoder", "通信")
                                       : QCoreApplication::translate("TrafficDecoder", "升级");
}

QString HexText(const TrafficFrame& frame, int maxBytes) {
    const int shown = std::min(frame.KeptBytes(), std::max(0, maxBytes));
    QString text;
    text.reserve(shown * 3 + 1);
    for (int i = 0; i < shown; ++i) {
        if (i > 0) {
            text += QLatin1Char(' ');
        }
        text += Hex2(frame.bytes[i]);
    }
    if (shown < frame.length) {
        text += QCoreApplication::translate("TrafficDecoder", " …");
    }
    return text;
}

QString FrameTextLine(const QString& time, const TrafficFrame& frame,
                      const TrafficFrame* previousSent) {
    return time + QLatin1Char('\t') + LinkText(frame.link) + QLatin1Char('\t') +
           DirectionText(frame.direction) + QLatin1Char('\t') + HexText(frame) + QLatin1Char('\t') +
           DecodeFrame(frame, previousSent) + QLatin1Char('\t') + VerdictText(frame.verdict);
}
