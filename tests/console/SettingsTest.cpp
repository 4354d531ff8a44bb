#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "ConsoleHarness.h"
#include "SettingsStore.h"

namespace {

// The ini section of the settings entry "Software\VR7C-20NP" (the backslash is escaped).
const QByteArray kSection = "[Software%5CVR7C-20NP]\n";

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QString StoredValue(const QString& path, const char* name) {
    const QSettings settings(path, QSettings::IniFormat);
    return settings.value(QStringLiteral("Software\\VR7C-20NP/") + QLatin1String(name)).toString();
}

struct Selection {
    int port;
    int baud;
    int address;
};

Selection SelectionOf(const TMainForm& form) {
    return {form.ComboBox1->currentIndex(), form.EX_Baud->currentIndex(),
            form.EX_Addr->currentIndex()};
}

}  // namespace

TEST(Settings, FirstRunCreatesTheStoreEmptyAndKeepsTheDefaults) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/dir/settings.ini"));
    ConsoleHarness h(path);
    h.form->FormShow();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFile(path).size(), 0);
    const Selection s = SelectionOf(*h.form);
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.baud, 3);
    EXPECT_EQ(s.address, 1);
    EXPECT_TRUE(h.prompter.messages.empty());
}

TEST(Settings, CloseStoresTheThreeIndicesAndTheSecondRunRestoresThem) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    {
        ConsoleHarness first(path);
        first.form->show();
        first.form->ComboBox1->setCurrentIndex(5);
        first.form->EX_Baud->setCurrentIndex(0);
        first.form->EX_Addr->setCurrentIndex(16);
        EXPECT_TRUE(first.form->close());
    }
    EXPECT_EQ(StoredValue(path, "Port"), "5");
    EXPECT_EQ(StoredValue(path, "BaudRate"), "0");
    EXPECT_EQ(StoredValue(path, "Address"), "16");
    ConsoleHarness second(path);
    second.form->show();
    const Selection s = SelectionOf(*second.form);
    EXPECT_EQ(s.port, 5);
    EXPECT_EQ(s.baud, 0);
    EXPECT_EQ(s.address, 16);
}

TEST(Settings, AStoredBaudRateOfTwoSelects38400) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    WriteFile(path, kSection + "Port=1\nBaudRate=2\nAddress=3\n");
    ConsoleHarness h(path);
    h.form->FormShow();
    EXPECT_EQ(h.form->EX_Baud->currentText(), "38400");
    EXPECT_EQ(h.form->ComboBox1->currentText(), "COM2");
    EXPECT_EQ(h.form->EX_Addr->currentText(), "3");
}

TEST(Settings, ANonNumericPortLeavesAllThreeAtTheirDefaults) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    WriteFile(path, kSection + "Port=COM3\nBaudRate=0\nAddress=9\n");
    ConsoleHarness h(path);
    h.form->FormShow();
    const Selection s = SelectionOf(*h.form);
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.baud, 3);
    EXPECT_EQ(s.address, 1);
    EXPECT_TRUE(h.prompter.messages.empty());
}

TEST(Settings, ANonNumericAddressStillRestoresPortAndBaudRate) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    WriteFile(path, kSection + "Port=7\nBaudRate=1\nAddress=x1\n");
    ConsoleHarness h(path);
    h.form->FormShow();
    const Selection s = SelectionOf(*h.form);
    EXPECT_EQ(s.port, 7);
    EXPECT_EQ(s.baud, 1);
    EXPECT_EQ(s.address, 1);
}

TEST(Settings, AMissingValueEndsTheRestoreSilently) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    WriteFile(path, kSection + "Port=4\nAddress=9\n");
    ConsoleHarness h(path);
    h.form->FormShow();
    const Selection s = SelectionOf(*h.form);
    EXPECT_EQ(s.port, 4);
    EXPECT_EQ(s.baud, 3);
    EXPECT_EQ(s.address, 1);
}

TEST(Settings, GarbageInTheFileIsIgnoredWithoutAMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    WriteFile(path, QByteArray("\x00\xff[[[=\n\n==\\\\\nPort=1,2,3\n", 25));
    ConsoleHarness h(path);
    h.form->FormShow();
    const Selection s = SelectionOf(*h.form);
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.baud, 3);
    EXPECT_TRUE(h.prompter.messages.empty());
}

TEST(Settings, AStoredIndexOutsideItsListLeavesTheListEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    WriteFile(path, kSection + "Port=12\nBaudRate=1\nAddress=1\n");
    ConsoleHarness h(path);
    h.form->FormShow();
    EXPECT_EQ(h.form->ComboBox1->currentIndex(), -1);
    h.ClickConnect();
    EXPECT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_FALSE(h.form->ComDriver().Connected());
}

TEST(Settings, AnUnwritableLocationGivesTheMessageAndTheWindowStillCloses) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("file"));
    WriteFile(blocker, "not a folder");
    const QString path = blocker + QStringLiteral("/settings.ini");
    ConsoleHarness h(path);
    h.form->show();
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(h.prompter.messages[0].caption, "注册软件");
    EXPECT_EQ(h.prompter.messages[0].text, "未知的原因，创建注册信息失败！");
    EXPECT_EQ(h.form->EX_Baud->currentIndex(), 3);
    EXPECT_TRUE(h.form->close());
    EXPECT_FALSE(QFile::exists(path));
}

TEST(Settings, AStoreThatFailsAtCloseStillLetsTheWindowClose) {
    // A file that exists but that nobody, not even the superuser, can replace.
    const QString path = QStringLiteral("/proc/version");
    ASSERT_TRUE(QFile::exists(path));
    ConsoleHarness h(path);
    h.form->show();
    EXPECT_TRUE(h.prompter.messages.empty());
    EXPECT_FALSE(SettingsStore(path).Write({1, 2, 3}));
    EXPECT_TRUE(h.form->close());
}

TEST(SettingsStore, TheDefaultPathFollowsTheEnvironmentVariable) {
    qputenv("VR7C_SETTINGS", "/tmp/elsewhere/vr7c.ini");
    EXPECT_EQ(SettingsStore::DefaultPath(), "/tmp/elsewhere/vr7c.ini");
    qunsetenv("VR7C_SETTINGS");
    EXPECT_TRUE(SettingsStore::DefaultPath().endsWith(QStringLiteral(".ini")));
}

TEST(SettingsStore, WritesNothingWhenTheEntryDoesNotExist) {
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath(QStringLiteral("absent.ini")));
    EXPECT_FALSE(store.Write({1, 2, 3}));
    EXPECT_FALSE(store.Exists());
}
