#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>

#include "ComPorts.h"
#include "OpenFailure.h"
#include "PseudoTerminal.h"

namespace {

PortEntry Ch340() {
    PortEntry e;
    e.devicePath = QStringLiteral("/dev/ttyUSB0");
    e.hasUsbIds = true;
    e.vendorId = 0x1a86;
    e.productId = 0x7523;
    return e;
}

struct CauseCase {
    const char* name;
    int openErrno;
    bool exists, readWrite, listedInGroup, ch340;
    std::vector<ProcessInfo> holders, running;
    OpenFailureCause cause;
    QStringList mentions;
};

using C = OpenFailureCause;
// clang-format off
const CauseCase kCauses[] = {
    {"Missing", 0, false, true, false, false, {}, {}, C::NoDevice, {"/dev/ttyUSB0 不存在", "COM2 → /dev/ttyACM0"}},
    {"NotInGroup", 0, true, false, false, false, {}, {}, C::Permission, {"dialout", "sudo usermod -aG dialout $USER", "重新登录"}},
    {"InGroupSinceThisLogin", 0, true, false, true, false, {}, {}, C::Permission, {"本次登录还没有生效"}},
    // As root every access check passes: the port's own errno still says it.
    {"PortSaysPermissionDenied", EACCES, true, true, false, false, {}, {}, C::Permission, {"sudo usermod -aG dialout $USER"}},
    {"HeldByAProgram", 0, true, true, false, false, {{4242, "minicom"}}, {}, C::Busy, {"4242", "minicom"}},
    {"BrlttyHoldsACh34x", 0, true, true, false, true, {{812, "brltty"}}, {}, C::Brltty, {"812", "1a86:7523", "systemctl mask"}},
    {"BrlttyTookTheCh34xAway", 0, false, true, false, true, {}, {{812, "brltty"}}, C::Brltty, {"brltty"}},
    {"ModemManagerProbing", 0, true, true, false, false, {{600, "ModemManager"}}, {}, C::ModemManager, {"600", "ID_MM_DEVICE_IGNORE"}},
};
// clang-format on

class Cause : public ::testing::TestWithParam<CauseCase> {};

TEST_P(Cause, NamesCauseAndRemedy) {
    const CauseCase& c = GetParam();
    const DeviceCheck check{c.openErrno,     c.exists,  c.readWrite, "dialout",
                            c.listedInGroup, c.holders, c.running};
    const std::optional<PortEntry> adapter = c.ch340 ? std::optional(Ch340()) : std::nullopt;
    const OpenFailureExplanation explained = ExplainOpenFailure(
        "COM1", "/dev/ttyUSB0", check, adapter, {QStringLiteral("COM2 → /dev/ttyACM0")});
    EXPECT_EQ(explained.cause, c.cause) << explained.text.toStdString();
    for (const QString& mention : c.mentions) {
        EXPECT_TRUE(explained.text.contains(mention)) << explained.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, Cause, ::testing::ValuesIn(kCauses),
                         [](const auto& p) { return std::string(p.param.name); });

// A pseudo-terminal held by another program, found by its open descriptor or by the lock file
// it left (named by the device, as serial programs do).
class HeldPty : public ::testing::TestWithParam<bool> {};

TEST_P(HeldPty, ExplanationNamesTheHoldingProcess) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.valid());
    const QString device = QString::fromStdString(pty.slavePath());
    QTemporaryDir locks;
    DeviceCheckPlaces places;
    places.lockDirectories = {locks.path()};
    QProcess holder;
    std::int64_t pid = 0;
    QString name;
    if (GetParam()) {
        holder.setStandardInputFile(device);
        holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(holder.waitForStarted());
        pid = holder.processId();
        name = QStringLiteral("sleep");
    } else {
        pid = QCoreApplication::applicationPid();
        name = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
        QFile lock(locks.filePath(QStringLiteral("LCK..") + device.mid(5).replace('/', '_')));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(static_cast<qint64>(pid)).rightJustified(10) + "\n");
    }
    const DeviceCheck check = CheckDevice(device, EBUSY, places);
    const OpenFailureExplanation explained = ExplainOpenFailure("COM1", device, check, {}, {});
    EXPECT_EQ(explained.cause, OpenFailureCause::Busy);
    EXPECT_TRUE(explained.text.contains(QStringLiteral("进程 %1（%2）").arg(pid).arg(name)))
        << explained.text.toStdString();
    holder.kill();
    holder.waitForFinished();
}

INSTANTIATE_TEST_SUITE_P(Ports, HeldPty, ::testing::Bool(), [](const auto& p) {
    return std::string(p.param ? "OpenDescriptor" : "LockFile");
});

}  // namespace
