#include "FirmwareImage.h"

#include <QByteArray>
#include <QFile>

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

bool SizeAcceptable(qint64 size) {
    return size > 0 && size <= kLargestErasableImage &&
           size <= static_cast<qint64>(kImageBufferCapacity);
}

}  // namespace

QByteArray LoadFirmwareImage() {
    RegisterFirmwareResource();
    return LoadFirmwareImageFrom(kFirmwareResource);
}

QByteArray LoadFirmwareImageFrom(const QString& path) {
    QFile resource(path);
    if (!resource.open(QIODevice::ReadOnly)) {
        return {};
    }
    // An empty image would divide the progress by zero, and a larger one than the erase frame
    // can describe would be written over pages that were never erased.
    const qint64 expected = resource.size();
    if (!SizeAcceptable(expected)) {
        return {};
    }
    QByteArray content = resource.read(expected);
    if (content.size() != expected) {
        return {};
    }
    return content;
}
