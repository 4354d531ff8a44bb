#include "FirmwareImage.h"

#include <QByteArray>
#include <QFile>

#include <cstring>

FirmwareBuffers IspBuffer = {};

// The image resource is compiled into this static library; registering it here keeps the
// linker from dropping it from the program.
static void RegisterFirmwareResource() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(FirmwareImage);
        return true;
    }();
    (void)registered;
}

namespace {

// The copy of the last loaded image; its size is the image size of the session.
QByteArray ImageStream;

bool SizeAcceptable(qint64 size) {
    return size > 0 && size <= kLargestErasableImage &&
           size <= static_cast<qint64>(kImageBufferCapacity);
}

}  // namespace

bool LoadFirmwareImage() {
    RegisterFirmwareResource();
    return LoadFirmwareImageFrom(kFirmwareResource);
}

bool LoadFirmwareImageFrom(const QString& path) {
    ImageStream = QByteArray();
    QFile resource(path);
    if (!resource.open(QIODevice::ReadOnly)) {
        return false;
    }
    // An empty image would divide the progress by zero, and a larger one than the erase frame
    // can describe would be written over pages that were never erased.
    const qint64 expected = resource.size();
    if (!SizeAcceptable(expected)) {
        return false;
    }
    QByteArray content = resource.read(expected);
    resource.close();
    if (content.size() != expected) {
        return false;
    }
    ImageStream = std::move(content);
    std::memcpy(IspBuffer.ImageBuffer, ImageStream.constData(),
                static_cast<std::size_t>(ImageStream.size()));
    return true;
}

std::int32_t FirmwareImageSize() {
    return static_cast<std::int32_t>(ImageStream.size());
}
