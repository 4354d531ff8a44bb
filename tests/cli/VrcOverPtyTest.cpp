#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <string>
#include <utility>

#include "SimOnPty.h"
#include "ZQ_ComDrv.h"

namespace {

using vr7c::sim::Stm32BootloaderFaults;

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramRun Program(
    const QString& program, const QStringList& args, int timeoutMs = 120000,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, args);
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("timed out");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

ProgramRun Vr7c(const QStringList& args) {
    return Program(QStringLiteral(VR7C_PATH), args);
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The simulated module with its bootloader, as vr7c reaches it.
class Module : public SimOnPty {
public:
    // With tcpBaud, also served as a serial server serves its line at that rate: tcp://.
    explicit Module(Stm32BootloaderFaults faults = {}, bool plcCan = false,
                    const QString& link = {}, std::uint32_t tcpBaud = 0)
        : SimOnPty(Options(faults, plcCan, link, tcpBaud)) {}
    QString port() const { return QString::fromStdString(path()); }
    QString url() const { return QString::fromStdString(SimOnPty::url()); }
    QByteArray Flash(std::size_t count) {
        const auto bytes = SimOnPty::Flash(count);
        return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    }

private:
    static vr7c::sim::SimOptions Options(Stm32BootloaderFaults faults, bool plcCan,
                                         const QString& link, std::uint32_t tcpBaud) {
        vr7c::sim::SimOptions options;
        options.plcCan = plcCan;
        options.baud = tcpBaud != 0 ? tcpBaud : 19200;  // vr7c's default rate
        options.link = link.toStdString();
        if (tcpBaud != 0) {
            options.tcp = vr7c::sim::ListenAddress{"127.0.0.1", 0};
        }
        return WithBootloader(options, faults);
    }
};

// One line on standard error, naming the fault.
void ExpectOneLineMessage(const ProgramRun& run) {
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("vr7c: "))) << run.err.toStdString();
}

TEST(VrcOverPty, WrittenRegistersReadBackByMbpoll) {
    Module module;
    const ProgramRun run = Vr7c({"write", "30=1234", "76=-5", "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    if (mbpoll.isEmpty()) {
        GTEST_SKIP() << "mbpoll not installed";
    }
    const ProgramRun peer =
        Program(mbpoll, {"-m", "rtu", "-a", "1", "-b", "19200", "-P", "even", "-t", "4", "-0", "-1",
                         "-r", "30", "-c", "1", module.port()});
    EXPECT_TRUE(peer.out.contains(QStringLiteral("[30]: \t1234"))) << peer.out.toStdString();
    const ProgramRun signedPeer =
        Program(mbpoll, {"-m", "rtu", "-a", "1", "-b", "19200", "-P", "even", "-t", "4", "-0", "-1",
                         "-r", "76", "-c", "1", module.port()});
    EXPECT_TRUE(signedPeer.out.contains(QStringLiteral("65531 (-5)")))
        << signedPeer.out.toStdString();
}

TEST(VrcOverPty, FlashedImageReadBackByStm32flash) {
    Module module;
    const QByteArray image = FileBytes(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    const ProgramRun run = Vr7c({"flash", "--verify", "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString stm32flash = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
    if (stm32flash.isEmpty()) {
        GTEST_SKIP() << "stm32flash not installed";
    }
    QTemporaryDir dir;
    const QString dump = dir.filePath(QStringLiteral("dump.bin"));
    const ProgramRun peer = Program(
        stm32flash, {"-b", "115200", "-m", "8n1", "-S",
                     QStringLiteral("0x08000000:%1").arg(image.size()), "-r", dump, module.port()});
    ASSERT_EQ(peer.exitCode, 0) << peer.out.toStdString();
    EXPECT_EQ(FileBytes(dump), image);
}

TEST(VrcOverPty, HexFromObjcopyFlashesTheSameBytes) {
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty()) {
        GTEST_SKIP() << "objcopy not installed";
    }
    QTemporaryDir dir;
    const QString hex = dir.filePath(QStringLiteral("image.hex"));
    const QByteArray image = FileBytes(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    ASSERT_EQ(Program(objcopy, {"-I", "binary", "-O", "ihex", "--change-addresses", "0x08000000",
                                QStringLiteral(VR7C_TEST_CARRIED_IMAGE), hex})
                  .exitCode,
              0);
    Module module;
    const ProgramRun run = Vr7c({"flash", hex, "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(module.Flash(image.size()), image);
}

// Files that must be refused before anything is sent.
struct BadFile {
    const char* name;
    const char* file;
    QByteArray content;
    const char* option = "--timeout=1000";
};

class BadFiles : public testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, AreRefusedWithTheirExitCodeAndNothingIsErased) {
    Module module;
    const QByteArray before = module.Flash(1024);
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(GetParam().file));
    if (!GetParam().content.isNull()) {
        WriteFile(path, GetParam().content);
    }
    const ProgramRun run = Vr7c({"flash", path, GetParam().option, "--port", module.port()});
    EXPECT_EQ(run.exitCode, 9);
    ExpectOneLineMessage(run);
    EXPECT_EQ(module.Flash(1024), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFiles,
    testing::Values(
        BadFile{"Missing", "none.bin", QByteArray()}, BadFile{"Empty", "empty.bin", QByteArray("")},
        BadFile{"TooLarge", "large.bin", QByteArray(300000, 'x')},
        BadFile{"LargerThanTheChip", "chip.bin", QByteArray(70000, 'x')},
        // Past the image check, the chip's own flash size still refuses it.
        BadFile{"ForcedLargerThanTheChip", "chip.bin", QByteArray(70000, 'x'), "--force"},
        BadFile{"TextFile", "text.txt", QByteArray("hello, module\n")},
        BadFile{"TruncatedBeforeTheResetHandler", "short.bin",
                FileBytes(QStringLiteral(VR7C_TEST_CARRIED_IMAGE)).left(200)},
        BadFile{"StackOutsideTheSram", "stack.bin", QByteArray::fromHex("00500120310100080000")},
        BadFile{"BadChecksum", "a.hex", ":0400000001020304F1\n:00000001FF\n"},
        BadFile{"BelowFlash", "b.hex", ":0400000001020304F2\n:00000001FF\n"},
        BadFile{"BeyondFlash", "c.hex", ":020000040804EE\n:0400000001020304F2\n:00000001FF\n"},
        BadFile{"NoEnd", "d.hex", ":020000040800F2\n:0400000001020304F2\n"},
        BadFile{"NotHex", "e.hex", ":02000004zz00F2\n:00000001FF\n"}),
    [](const auto& param) { return std::string(param.param.name); });

// Ports and bootloaders that fail, each with its own exit code.
struct Failure {
    const char* name;
    Stm32BootloaderFaults faults;
    int exitCode;
};

class Failures : public testing::TestWithParam<Failure> {};

TEST_P(Failures, GiveTheirExitCodeAndOneLine) {
    Module module(GetParam().faults);
    const ProgramRun run = Vr7c({"flash", "--timeout", "200", "--port", module.port()});
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    ExpectOneLineMessage(run);
}

Stm32BootloaderFaults Nack(std::uint8_t command) {
    Stm32BootloaderFaults faults;
    faults.nackCommand = command;
    return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Bootloaders, Failures,
    testing::Values(Failure{"Silent", Stm32BootloaderFaults{true, {}, 0, 11, {}}, 6},
                    Failure{"NackToSync", Nack(0x7F), 7}, Failure{"NackToErase", Nack(0x43), 7},
                    Failure{"NackToWrite", Nack(0x31), 7},
                    Failure{"NackToDataBlock", Stm32BootloaderFaults{false, {}, 3, 11, {}}, 7}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(VrcOverPty, MissingAndBusyPortsHaveTheirOwnCodes) {
    const ProgramRun missing = Vr7c({"read", "11", "--port", "/dev/vr7c-no-such-port"});
    EXPECT_EQ(missing.exitCode, 3);
    ExpectOneLineMessage(missing);

    Module module;
    qputenv("VR7C_COM8", module.port().toLocal8Bit());
    VEVErizEvezad holder;
    holder.SetComPort(pnCOM8);
    ASSERT_TRUE(holder.Connect());
    const ProgramRun busy = Vr7c({"read", "11", "--port", module.port()});
    EXPECT_EQ(busy.exitCode, 4);
    ExpectOneLineMessage(busy);
}

TEST(VrcOverPty, NetworkLinesThatDoNotConnectAreMissingPortsAndFlashingNeedsASerialLine) {
    // Port 1 on loopback: nobody listens there. A 64-letter label: no name server is asked.
    const std::pair<QString, const char*> rows[] = {
        {"tcp://127.0.0.1:1", "connection refused"},
        {"rfc2217://127.0.0.1:1", "connection refused"},
        {"tcp://" + QString(64, 'a') + ".invalid:4001", "host name not found"}};
    for (const auto& [url, why] : rows) {
        const ProgramRun run = Vr7c({"read", "11", "--port", url});
        EXPECT_EQ(run.exitCode, 3) << url.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(why))) << run.err.toStdString();
    }
    const ProgramRun flash = Vr7c({"flash", "--port", "modbus-tcp://127.0.0.1:1"});
    EXPECT_EQ(flash.exitCode, 2);
    ExpectOneLineMessage(flash);
}

// Through raw TCP, as to modules behind serial servers: a read, and a flash with two URLs as
// two fixture slots (the servers at the bootloader's 115200), each reaching its own module.
TEST(VrcOverPty, ReadsAndFlashesFixtureSlotsThroughRawTcp) {
    Module line({}, false, {}, 19200);
    const ProgramRun read = Vr7c({"read", "11", "--port", line.url()});
    EXPECT_TRUE(read.out.startsWith(QStringLiteral("11     %1 ").arg(line->reg(11))))
        << read.err.toStdString();
    Module first({}, false, {}, 115200);
    Module second({}, false, {}, 115200);
    const ProgramRun flash = Vr7c(
        {"flash", "--verify", "--reset-pause", "0", "--port", first.url(), "--port", second.url()});
    EXPECT_EQ(flash.exitCode, 0) << flash.err.toStdString();
    const QByteArray image = FileBytes(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    EXPECT_EQ(first.Flash(image.size()), image);
    EXPECT_EQ(second.Flash(image.size()), image);
}

TEST(VrcOverPty, ProfileSendsOnlyTheRegistersItNamesAndTheCommitMarker) {
    Module module;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.json"));
    WriteFile(path, R"({"name": "line", "settings": {
        "send_suppression": {"register": 93, "value": 250},
        "channel_count": {"meaning": "三个"}}})");
    module->clearWrites();
    const ProgramRun run = Vr7c({"config", "apply", path, "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::vector<int> written;
    for (const auto& w : module->writes()) {
        written.push_back(w.reg);
    }
    EXPECT_EQ(written, (std::vector<int>{93, 94, 96}));
    EXPECT_EQ(module->reg(93), 250);
    EXPECT_EQ(module->reg(94) >> 4, 2);
    EXPECT_EQ(Vr7c({"config", "diff", path, "--port", module.port()}).exitCode, 0);

    WriteFile(path, R"({"settings": {"send_suppression": {"value": 251}}})");
    EXPECT_EQ(Vr7c({"config", "diff", path, "--port", module.port()}).exitCode, 10);
    WriteFile(path, R"({"settings": {"send_suppression": {"value": 10000}}})");
    EXPECT_EQ(Vr7c({"config", "apply", path, "--port", module.port()}).exitCode, 9);
    // A single write of the block is held to the same ranges unless forced.
    module->clearWrites();
    EXPECT_EQ(Vr7c({"write", "89=900", "--port", module.port()}).exitCode, 2);
    EXPECT_TRUE(module->writes().empty());
    EXPECT_EQ(Vr7c({"write", "89=900", "--force", "--port", module.port()}).exitCode, 0);
}

TEST(VrcOverPty, AProfileThatMovesTheModuleIsReadBackAtItsNewStation) {
    Module module;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("move.json"));
    WriteFile(path, R"({"settings": {"station_number": {"value": 7}}})");
    const ProgramRun run = Vr7c({"config", "apply", path, "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("station 7, 19200 baud"))) << run.out.toStdString();
}

TEST(VrcOverPty, SavedProfileAppliesBackInTheConsolesOrder) {
    Module module;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.json"));
    ASSERT_EQ(Vr7c({"config", "save", path, "--port", module.port()}).exitCode, 0);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains(R"("label_en": "Station no.")"));
    module->clearWrites();
    ASSERT_EQ(Vr7c({"config", "apply", path, "--port", module.port()}).exitCode, 0);
    std::vector<int> written;
    for (const auto& w : module->writes()) {
        written.push_back(w.reg);
    }
    EXPECT_EQ(written, (std::vector<int>{84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96}));
}

TEST(VrcOverPty, ScanFindsOneModuleForOneSimulatorAtItsOwnRate) {
    Module module;
    const ProgramRun run = Vr7c({"scan", "--json", "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral(
        R"("modules":[{"baud":19200,"firmware_version":"1.50","mode":"PC-UART","station":1}])")))
        << run.out.toStdString();
}

TEST(VrcOverPty, CommissionFlashesStartsChecksAndConfigures) {
    Module module;
    QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("unit.json"));
    const QString log = dir.filePath(QStringLiteral("log.csv"));
    WriteFile(profile, R"({"name": "unit", "settings": {
        "rs485_baud_rate": {"value": 1}, "station_number": {"value": 1},
        "filter_level": {"value": 4}}})");
    const ProgramRun run =
        Vr7c({"commission", "--profile", profile, "--log", log, "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(module->reg(94) & 15, 4);
    const QStringList lines = QString::fromUtf8(FileBytes(log)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",1.50,unit,ok,ok,ok,ok,ok,")))
        << lines[1].toStdString();

    const ProgramRun wrongVersion = Vr7c({"commission", "--profile", profile, "--log", log,
                                          "--firmware-version", "1.60", "--port", module.port()});
    EXPECT_EQ(wrongVersion.exitCode, 11);
}

TEST(VrcOverPty, ReadsAndWritesThroughAModbusTcpGatewayAndNamesItsException) {
    vr7c::sim::SimOptions options;
    options.modbusTcp = vr7c::sim::ListenAddress{"127.0.0.1", 0};
    SimOnPty gateway(options);
    ASSERT_TRUE(gateway.started());
    const QString url = QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(gateway->tcpPort());
    const ProgramRun write = Vr7c({"write", "30=1234", "--port", url});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();
    EXPECT_EQ(gateway->reg(30), 1234);
    const ProgramRun read = Vr7c({"read", "30", "--json", "--port", url});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    EXPECT_TRUE(read.out.contains(QStringLiteral("\"value\":1234"))) << read.out.toStdString();
    const ProgramRun other = Vr7c({"read", "30", "--station", "9", "--port", url});
    EXPECT_EQ(other.exitCode, 7);
    EXPECT_TRUE(other.err.contains(
        QStringLiteral("gateway answered exception 11 (gateway target device failed to respond)")))
        << other.err.toStdString();
}

TEST(VrcOverPty, PlcCanReadsThroughTheBridgeAndJsonCarriesTheResult) {
    Module module({}, true);
    const ProgramRun run = Vr7c({"read", "11", "--plc-can", "--json", "--port", module.port()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("\"register\":11")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("\"value\":150")));
    EXPECT_TRUE(
        run.out.contains(QStringLiteral(R"("name":"程序版本","name_en":"Program version")")))
        << run.out.toStdString();

    const ProgramRun failed = Vr7c({"read", "11", "--json", "--port", "/dev/vr7c-no-such-port"});
    EXPECT_EQ(failed.exitCode, 3);
    EXPECT_TRUE(failed.out.contains(QStringLiteral("\"exit_code\":3"))) << failed.out.toStdString();
}

TEST(VrcOverPty, FixtureSlotsFlashAtOnceAndOneRefusingSlotSpoilsNoOther) {
    Module good;
    Module refusing(Nack(0x31));
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("units.csv"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VR7C_COM5"), good.port());
    environment.insert(QStringLiteral("VR7C_COM6"), refusing.port());
    const ProgramRun run = Program(QStringLiteral(VR7C_PATH),
                                   {"flash", "--verify", "--reset-pause", "0", "--log", log,
                                    "--port", "COM6", "--port", "COM5"},
                                   120000, environment);
    EXPECT_EQ(run.exitCode, 7) << run.err.toStdString();
    const QByteArray image = FileBytes(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    EXPECT_EQ(good.Flash(image.size()), image);
    EXPECT_TRUE(run.out.contains(QStringLiteral("COM5: flashed 25236 bytes")))
        << run.out.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("vr7c: COM6: "))) << run.err.toStdString();
    // Without --repeat too, one line per unit, each naming its port.
    const QStringList lines = QString::fromUtf8(FileBytes(log)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.filter(QStringLiteral(",COM5,")).size(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral(",COM6,")).size(), 1);
}

TEST(VrcOverPty, ASlotWhoseModuleVanishesMidFlashLeavesTheOtherWhole) {
    Module staying;
    auto vanishing = std::make_unique<Module>();
    const QByteArray image = FileBytes(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VR7C_COM5"), staying.port());
    environment.insert(QStringLiteral("VR7C_COM6"), vanishing->port());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VR7C_PATH),
                  {"flash", "--verify", "--reset-pause", "0", "--timeout", "300", "--port", "COM5",
                   "--port", "COM6"});
    // Gone once a third of the image is in its flash.
    const qsizetype third = image.size() / 3;
    for (int waited = 0; waited < 60000; waited += 5) {
        if (vanishing->Flash(third + 16).mid(third) == image.mid(third, 16)) {
            break;
        }
        QThread::msleep(5);
    }
    vanishing.reset();
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_NE(process.exitCode(), 0);
    EXPECT_EQ(staying.Flash(image.size()), image);
    EXPECT_TRUE(out.contains(QStringLiteral("COM5: flashed 25236 bytes"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(", verified"))) << out.toStdString();
    EXPECT_TRUE(err.startsWith(QStringLiteral("vr7c: COM6: "))) << err.toStdString();
}

TEST(VrcOverPty, FixtureSlotsReadTheirOwnModulesAtOnce) {
    // Each slot's master sees only its own line: each reads back its own module's value.
    Module first;
    Module second;
    first->setRegister(30, 111);
    second->setRegister(30, 222);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VR7C_COM5"), first.port());
    environment.insert(QStringLiteral("VR7C_COM6"), second.port());
    for (int round = 0; round < 3; ++round) {
        const ProgramRun run =
            Program(QStringLiteral(VR7C_PATH),
                    {"read", "0..99", "--port", "COM5", "--port", "COM6"}, 60000, environment);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("COM5: 30     111"))) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("COM6: 30     222"))) << run.out.toStdString();
        EXPECT_EQ(run.out.count('\n'), 200);
    }
    const ProgramRun watch = Program(
        QStringLiteral(VR7C_PATH),
        {"watch", "--csv", "--count", "2", "--interval", "10", "--port", "COM5", "--port", "COM6"},
        60000, environment);
    ASSERT_EQ(watch.exitCode, 0) << watch.err.toStdString();
    const QStringList lines = watch.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("time,port,ch0_value,")));
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^[^,]+,COM5,"))).size(), 2);
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^[^,]+,COM6,"))).size(), 2);
}

TEST(VrcOverPty, AnApplyStoppedPartWaySaysWhatItWroteAndWhatNot) {
    Module module;
    module->setUnheardWriteRegister(90);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.json"));
    WriteFile(path, R"({"settings": {"input_range": {"value": 1}, "station_number": {"value": 2},
                                     "send_suppression": {"value": 50}}})");
    const ProgramRun run =
        Vr7c({"config", "apply", path, "--timeout", "200", "--port", module.port()});
    EXPECT_EQ(run.exitCode, 6);
    ExpectOneLineMessage(run);
    EXPECT_TRUE(run.err.contains(QStringLiteral("written: 84; not written: 90, 93, 96")))
        << run.err.toStdString();
}

TEST(VrcOverPty, RepeatWaitsForTheNextUnitAndLogsEach) {
    QTemporaryDir dir;
    const QString line = dir.filePath(QStringLiteral("line"));
    const QString log = dir.filePath(QStringLiteral("units.csv"));
    auto first = std::make_unique<Module>(Stm32BootloaderFaults{}, false, line);
    QProcess process;
    process.start(QStringLiteral(VR7C_PATH),
                  {"flash", "--repeat", "--count", "2", "--reset-pause", "50", "--timeout", "300",
                   "--log", log, "--port", line});
    auto logLines = [&] {
        return QString::fromUtf8(FileBytes(log)).split('\n', Qt::SkipEmptyParts).size();
    };
    for (int waited = 0; logLines() < 2 && waited < 60000; waited += 100) {
        QThread::msleep(100);
    }
    ASSERT_EQ(logLines(), 2);
    first.reset();  // the unit is taken away; the next one is connected
    Module second({}, false, line);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(logLines(), 3);
}

}  // namespace
