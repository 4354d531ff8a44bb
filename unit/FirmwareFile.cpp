#include "FirmwareFile.h"

#include <QFile>
#include <QFileInfo>

#include "FirmwareImage.h"
#include "ImageCheck.h"
#include "IntelHex.h"
#include "Stm32Protocol.h"

namespace {

bool LooksLikeHex(const QString& path, const QByteArray& content) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("hex") || suffix == QLatin1String("ihx")) {
        return true;
    }
    return suffix != QLatin1String("bin") && content.trimmed().startsWith(':');
}

}  // namespace

std::uint32_t Crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
        }
    }
    return ~crc;
}

QString Crc32Text(std::uint32_t crc) {
    return QStringLiteral("%1").arg(crc, 8, 16, QChar('0')).toUpper();
}

Outcome LoadFirmwareFile(const QString& path, FirmwareFile& out, bool force) {
    if (path.isEmpty()) {
        out.bytes = LoadFirmwareImage();
        if (out.bytes.isEmpty()) {
            return Outcome::Fail(kExitBadFile,
                                 QStringLiteral("the carried image cannot be loaded"));
        }
        out.name = QStringLiteral("carried");
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return Outcome::Fail(kExitBadFile, path + QStringLiteral(": ") + file.errorString());
        }
        // Bounds: nothing larger than a HEX file of the largest image is read.
        constexpr qint64 kLargestFile = 4 * kLargestErasableImage;
        const QByteArray content = file.read(kLargestFile + 1);
        if (content.size() > kLargestFile) {
            return Outcome::Fail(kExitBadFile, path + QStringLiteral(": file too large"));
        }
        if (LooksLikeHex(path, content)) {
            QString error;
            const auto image =
                ReadIntelHex(content, stm32::FLASH_START,
                             static_cast<std::uint32_t>(kLargestErasableImage), &error);
            if (!image) {
                return Outcome::Fail(kExitBadFile, path + QStringLiteral(": ") + error);
            }
            out.bytes = image->bytes;
        } else {
            out.bytes = content;
        }
        out.name = path;
    }
    if (out.bytes.isEmpty()) {
        return Outcome::Fail(kExitBadFile, out.name + QStringLiteral(": empty image"));
    }
    if (out.bytes.size() > kLargestErasableImage) {
        return Outcome::Fail(
            kExitBadFile,
            out.name + QStringLiteral(": image larger than %1 bytes").arg(kLargestErasableImage));
    }
    if (!force) {
        const auto fault = FirmwareImageFault(
            reinterpret_cast<const std::uint8_t*>(out.bytes.constData()), out.bytes.size());
        if (fault) {
            return Outcome::Fail(
                kExitBadFile, out.name + QStringLiteral(": does not look like firmware for the "
                                                        "module's STM32 (%1); --force flashes it "
                                                        "anyway")
                                             .arg(QString::fromStdString(*fault)));
        }
    }
    out.crc32 = Crc32(out.bytes);
    return Outcome::Ok();
}
