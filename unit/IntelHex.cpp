#include "IntelHex.h"

#include <QList>

#include <vector>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The bytes of one record line (without the colon); false on a non-hex character or an odd
// number of digits.
bool DecodeRecord(const QByteArray& line, std::vector<std::uint8_t>& out) {
    if (line.size() % 2 != 0) {
        return false;
    }
    out.clear();
    for (qsizetype i = 0; i < line.size(); i += 2) {
        const int high = HexDigit(line[i]);
        const int low = HexDigit(line[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

}  // namespace

std::optional<HexImage> ReadIntelHex(const QByteArray& text, std::uint32_t lowest,
                                     std::uint32_t capacity, QString* error) {
    auto fail = [&](int lineNumber, const QString& what) -> std::optional<HexImage> {
        if (error) {
            *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
        }
        return std::nullopt;
    };
    // Bounds: the image never grows beyond capacity bytes, whatever the file claims.
    std::vector<std::uint8_t> image;
    std::vector<bool> written;
    std::uint32_t upperBase = 0;
    bool ended = false;
    std::vector<std::uint8_t> record;
    int lineNumber = 0;
    for (QByteArray line : text.split('\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty()) {
            continue;
        }
        if (ended) {
            return fail(lineNumber, QStringLiteral("data after the end-of-file record"));
        }
        if (line[0] != ':' || !DecodeRecord(line.mid(1), record) || record.size() < 5) {
            return fail(lineNumber, QStringLiteral("not an Intel HEX record"));
        }
        const std::size_t length = record[0];
        if (record.size() != length + 5) {
            return fail(lineNumber, QStringLiteral("record length does not match its count"));
        }
        std::uint8_t sum = 0;
        for (const std::uint8_t b : record) {
            sum = static_cast<std::uint8_t>(sum + b);
        }
        if (sum != 0) {
            return fail(lineNumber, QStringLiteral("checksum error"));
        }
        const std::uint32_t offset = static_cast<std::uint32_t>(record[1]) << 8 | record[2];
        const std::uint8_t type = record[3];
        const std::uint8_t* data = record.data() + 4;
        switch (type) {
            case 0x00:
                for (std::size_t i = 0; i < length; ++i) {
                    // Offsets wrap within their 64 KiB segment, as the format says.
                    const std::uint32_t address =
                        upperBase + ((offset + static_cast<std::uint32_t>(i)) & 0xFFFF);
                    if (address < lowest || address - lowest >= capacity) {
                        return fail(lineNumber, QStringLiteral("address 0x%1 is outside the flash")
                                                    .arg(address, 8, 16, QChar('0')));
                    }
                    const std::size_t at = address - lowest;
                    if (at >= image.size()) {
                        image.resize(at + 1, 0xFF);
                        written.resize(at + 1, false);
                    }
                    if (written[at]) {
                        return fail(lineNumber, QStringLiteral("address 0x%1 is given twice")
                                                    .arg(address, 8, 16, QChar('0')));
                    }
                    written[at] = true;
                    image[at] = data[i];
                }
                break;
            case 0x01:
                if (length != 0) {
                    return fail(lineNumber, QStringLiteral("end-of-file record with data"));
                }
                ended = true;
                break;
            case 0x02:
            case 0x04:
                if (length != 2) {
                    return fail(lineNumber, QStringLiteral("address record of wrong length"));
                }
                upperBase = (static_cast<std::uint32_t>(data[0]) << 8 | data[1])
                            << (type == 0x02 ? 4 : 16);
                break;
            case 0x03:
            case 0x05:
                if (length != 4) {
                    return fail(lineNumber, QStringLiteral("start address record of wrong length"));
                }
                break;
            default:
                return fail(lineNumber, QStringLiteral("unknown record type %1").arg(type));
        }
    }
    if (!ended) {
        return fail(lineNumber, QStringLiteral("no end-of-file record"));
    }
    if (image.empty()) {
        return fail(lineNumber, QStringLiteral("no data"));
    }
    HexImage result;
    result.base = lowest;
    result.bytes = QByteArray(reinterpret_cast<const char*>(image.data()),
                              static_cast<qsizetype>(image.size()));
    return result;
}
