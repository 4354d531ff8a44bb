#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <array>
#include <cerrno>
#include <utility>
#include <vector>

#include "ComPorts.h"

namespace {

class FakePortCatalogue final : public PortCatalogue {
public:
    std::vector<PortEntry> listing;
    std::vector<PortEntry> List() override { return listing; }
};

PortEntry Adapter(const char* path, std::uint16_t vid, std::uint16_t pid, const char* serial,
                  const char* description) {
    PortEntry e;
    e.devicePath = QString::fromLatin1(path);
    e.hasUsbIds = true;
    e.vendorId = vid;
    e.productId = pid;
    e.serialNumber = QString::fromLatin1(serial);
    e.description = QString::fromLatin1(description);
    return e;
}

const PortEntry kFtdi0 = Adapter("/dev/ttyUSB0", 0x0403, 0x6001, "A50285BI", "FT232R USB UART");
const PortEntry kFtdi1 = Adapter("/dev/ttyUSB1", 0x0403, 0x6001, "A50285BI", "FT232R USB UART");
const PortEntry kCp0 = Adapter("/dev/ttyUSB0", 0x10c4, 0xea60, "0001", "CP2102");
const PortEntry kAcm0 = Adapter("/dev/ttyACM0", 0x2e8a, 0x000a, "E660", "Pico");
const QString kOldFile = QStringLiteral("[Software%5CVR7C-20NP]\nPort=2\nBaudRate=1\nAddress=5\n");

struct AssignmentCase {
    const char* name;
    QString fileBefore;                              // settings file at the start
    std::vector<std::pair<int, QString>> overrides;  // VR7C_COMn (index, path below the temp dir)
    std::vector<std::vector<PortEntry>> listings;    // one refresh each
    std::size_t restartBefore;                       // listing before which the program restarts
    std::array<const char*, 8> paths;                // what COM1 … COM8 reach afterwards
    bool restartWithoutOverrides = false;
};

QString EightAbsent() {
    QString text = QStringLiteral("[Ports]\n");
    for (int i = 1; i <= 8; ++i) {
        text += QStringLiteral("COM%1=usb:1111:2222:GONE%1\n").arg(i);
    }
    return text;
}

class Assignment : public ::testing::TestWithParam<AssignmentCase> {};

TEST_P(Assignment, ComNumbersStayWithTheirAdapters) {
    const AssignmentCase& c = GetParam();
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("settings.ini"));
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.fileBefore.toUtf8());
    file.close();
    for (const auto& [index, path] : c.overrides) {
        QFile(dir.filePath(path)).open(QIODevice::WriteOnly);
        qputenv(QStringLiteral("VR7C_COM%1").arg(index + 1).toLatin1(),
                dir.filePath(path).toUtf8());
    }
    FakePortCatalogue catalogue;
    auto ports = std::make_unique<ComPorts>(catalogue, settings);
    for (std::size_t i = 0; i < c.listings.size(); ++i) {
        if (i == c.restartBefore) {
            for (const auto& [index, path] : c.overrides) {
                if (c.restartWithoutOverrides) {
                    qunsetenv(QStringLiteral("VR7C_COM%1").arg(index + 1).toLatin1());
                }
            }
            ports = std::make_unique<ComPorts>(catalogue, settings);
        }
        catalogue.listing = c.listings[i];
        ports->Refresh();
    }
    for (int i = 0; i < 8; ++i) {
        QString expected = QString::fromLatin1(c.paths[static_cast<std::size_t>(i)]);
        if (expected.startsWith(QLatin1Char('~'))) {
            expected = dir.filePath(expected.mid(1));
        }
        EXPECT_EQ(ports->DevicePath(i), expected) << "COM" << i + 1;
    }
    for (const auto& [index, path] : c.overrides) {
        qunsetenv(QStringLiteral("VR7C_COM%1").arg(index + 1).toLatin1());
    }
    // The console's own values are untouched by the port section.
    if (c.fileBefore == kOldFile) {
        const QSettings stored(settings, QSettings::IniFormat);
        EXPECT_EQ(stored.value(QStringLiteral("Software\\VR7C-20NP/Port")).toString(), "2");
        EXPECT_EQ(stored.value(QStringLiteral("Software\\VR7C-20NP/Address")).toString(), "5");
    }
}

const AssignmentCase kCases[] = {
    {"FirstSight", "", {}, {{kFtdi0}}, 99, {"/dev/ttyUSB0", "", "", "", "", "", "", ""}},
    {"ReplugUnderAnotherName",
     "",
     {},
     {{kFtdi0}, {}, {kCp0}, {kCp0, kFtdi1}},
     99,
     {"/dev/ttyUSB1", "/dev/ttyUSB0", "", "", "", "", "", ""}},
    {"SecondAdapterKeepsItsNumberAfterARestart",
     "",
     {},
     {{kFtdi0}, {kFtdi0, kAcm0}, {kAcm0}},
     2,
     {"", "/dev/ttyACM0", "", "", "", "", "", ""}},
    {"EightTaken", EightAbsent(), {}, {{kFtdi0}}, 99, {"", "", "", "", "", "", "", ""}},
    {"OverrideComesFirst",
     "",
     {{0, QStringLiteral("sim")}},
     {{kFtdi0}},
     99,
     {"~sim", "/dev/ttyUSB0", "", "", "", "", "", ""}},
    {"AnOverrideLendsANumberForItsRunOnly",
     "",
     {{0, QStringLiteral("sim")}},
     {{kFtdi0}, {kFtdi0}},
     1,
     {"/dev/ttyUSB0", "", "", "", "", "", "", ""},
     true},
    {"SettingsFileFromBeforePorts",
     kOldFile,
     {},
     {{kAcm0}, {kAcm0, kFtdi0}},
     1,
     {"/dev/ttyACM0", "/dev/ttyUSB0", "", "", "", "", "", ""}},
};

INSTANTIATE_TEST_SUITE_P(Ports, Assignment, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ComPortsToolTip, NamesDeviceDescriptionAndSerialOrThatNothingIsPluggedIn) {
    QTemporaryDir dir;
    FakePortCatalogue catalogue;
    catalogue.listing = {kFtdi0};
    ComPorts ports(catalogue, dir.filePath(QStringLiteral("settings.ini")));
    ports.Refresh();
    EXPECT_EQ(ports.ToolTip(0), "COM1 → /dev/ttyUSB0 · FT232R USB UART · A50285BI");
    EXPECT_EQ(ports.ToolTip(1), "COM2 → 没有插入设备");
}

TEST(ComPortsNetwork, SettingsFileAssignsUrlsWhichAdaptersNeverTakeAndTheDialogFrees) {
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("settings.ini"));
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Ports]\nCOM1=rfc2217://serial-server-7:4001\n");
    file.close();
    FakePortCatalogue catalogue;
    catalogue.listing = {kFtdi0};
    ComPorts ports(catalogue, settings);
    ports.Refresh();
    EXPECT_EQ(ports.DevicePath(0), "rfc2217://serial-server-7:4001");
    EXPECT_TRUE(ports.IsNetwork(0));
    EXPECT_EQ(ports.ToolTip(0), "COM1 → rfc2217://serial-server-7:4001（网络线路）");
    EXPECT_EQ(ports.DevicePath(1), "/dev/ttyUSB0");  // the adapter got the next number

    EXPECT_FALSE(ports.AssignNetworkLine(1, QStringLiteral("tcp://10.0.0.5:4001")));  // taken
    EXPECT_FALSE(ports.AssignNetworkLine(2, QStringLiteral("tcp://10.0.0.5")));       // no port
    EXPECT_TRUE(ports.AssignNetworkLine(2, QStringLiteral("modbus-tcp://gw")));
    EXPECT_FALSE(ports.FreeNetworkLine(1));  // an adapter's number stays
    EXPECT_TRUE(ports.FreeNetworkLine(0));
    const QSettings stored(settings, QSettings::IniFormat);
    EXPECT_FALSE(stored.contains(QStringLiteral("Ports/COM1")));
    EXPECT_EQ(stored.value(QStringLiteral("Ports/COM3")).toString(), "modbus-tcp://gw");

    struct Row {
        int error;
        const char* says;
    };
    for (const Row& row : {Row{ECONNREFUSED, "拒绝了连接"}, Row{ENXIO, "找不到主机名 gw"},
                           Row{ETIMEDOUT, "3 秒内没有应答"}, Row{EHOSTUNREACH, "没有到 gw"},
                           Row{EPROTONOSUPPORT, "不支持 RFC 2217"}}) {
        const OpenFailureExplanation why = ports.ExplainOpenFailure(2, row.error);
        EXPECT_EQ(why.cause, OpenFailureCause::Network);
        EXPECT_TRUE(why.text.contains(QString::fromUtf8(row.says))) << why.text.toStdString();
    }
}

}  // namespace
