#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "ConfigPanel.h"
#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "FaultRig.h"
#include "MODBUS_RTU.h"
#include "TSpinEdit.h"

namespace {

const QString kNotOpen = QStringLiteral("通信端口未打开 ！");
const QString kNoSelection =
    QStringLiteral("串口、波特率或产品地址未选择 ！\r请在列表中选择后再连接。");

// One register write that went out on the fake line: the address bytes and the value.
struct WireWrite {
    std::uint16_t address;
    std::uint16_t value;
    bool operator==(const WireWrite&) const = default;
};

void PrintTo(const WireWrite& w, std::ostream* os) {
    *os << "{" << w.address << ", " << w.value << "}";
}

// The main window and the write dialog on a fake port that echoes every write, a fake clock
// and recorded message boxes; no event loop is needed.
class OfflineConsole {
public:
    explicit OfflineConsole(const QString& settingsPath = {}) {
        auto fake = std::make_unique<FakeSerialPortIo>();
        port = fake.get();
        port->onWrite = [this](const std::vector<std::uint8_t>& bytes) {
            if (bytes.size() == 8 && bytes[1] == 6) {
                port->feed(bytes);
            }
        };
        clock.autoAdvance = 1;
        MainFormOptions options;
        options.port = std::move(fake);
        options.clock = &clock;
        options.prompter = &prompter;
        options.settingsPath =
            settingsPath.isEmpty() ? dir.filePath(QStringLiteral("settings.ini")) : settingsPath;
        form = std::make_unique<TMainForm>(std::move(options));
        monitor = std::make_unique<TMonitorDf>(*form, prompter, form.get());
        form->SetMonitorForm(monitor.get());
    }
    ~OfflineConsole() {
        monitor.reset();
        form.reset();
    }

    void Connect() { form->SpeedButton1->click(); }

    // Connects and takes one good reply carrying these words.
    void ConnectWithReply(const std::array<std::uint16_t, 100>& words) {
        Connect();
        form->Timer1Timer();
        std::vector<std::uint8_t> reply = {1, 3, 200};
        for (const std::uint16_t word : words) {
            reply.push_back(static_cast<std::uint8_t>(word >> 8));
            reply.push_back(static_cast<std::uint8_t>(word & 0xFF));
        }
        const std::uint16_t crc = Crc16(reply.data(), static_cast<std::uint16_t>(reply.size()));
        reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        reply.push_back(static_cast<std::uint8_t>(crc >> 8));
        port->feed(reply);
        form->ComDriver().PollReceive();
        form->Timer1Timer();
        ASSERT_TRUE(form->Polling().LinkUp);
    }

    std::vector<WireWrite> Writes() const {
        std::vector<WireWrite> writes;
        for (const auto& frame : port->writes) {
            if (frame.size() == 8 && frame[1] == 6) {
                writes.push_back({static_cast<std::uint16_t>(frame[2] << 8 | frame[3]),
                                  static_cast<std::uint16_t>(frame[4] << 8 | frame[5])});
            }
        }
        return writes;
    }
    bool PortOpened() const {
        for (const std::string& call : port->calls) {
            if (call.rfind("open", 0) == 0) {
                return true;
            }
        }
        return false;
    }

    QTemporaryDir dir;
    FakeClock clock;
    RecordingPrompter prompter;
    FakeSerialPortIo* port = nullptr;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TMonitorDf> monitor;
};

// The wire address of a register number: quotient and remainder of 256, each cut to a byte.
std::uint16_t WireAddressOf(std::int64_t reg) {
    const auto high = static_cast<std::uint8_t>((reg / 256) & 0xFF);
    const auto low = static_cast<std::uint8_t>((reg % 256) & 0xFF);
    return static_cast<std::uint16_t>(high << 8 | low);
}

void Paste(QLineEdit& field, const QString& text) {
    QApplication::clipboard()->setText(text);
    if (QApplication::clipboard()->text() == text) {
        field.selectAll();
        field.paste();
    } else {
        field.setText(text);  // no clipboard on this platform: set the text as a paste would
    }
}

// --- The write dialog's two fields ---

TEST(WriteDialogInput, TypedLettersAndSymbolsAreDiscarded_OnlyDigitsAndMinusArrive) {
    OfflineConsole console;
    for (QLineEdit* field : {console.monitor->Edit1, console.monitor->Edit2}) {
        field->clear();
        QTest::keyClicks(field, QStringLiteral("a1b2-c!3 x.,#"));
        // Characters without a key of their own, as an input method would type them.
        for (const QString& text :
             {QStringLiteral("９"), QStringLiteral("٣"), QStringLiteral("中")}) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
            QApplication::sendEvent(field, &press);
        }
        EXPECT_EQ(field->text(), QStringLiteral("12-3"));
    }
    EXPECT_TRUE(console.Writes().empty());
}

TEST(WriteDialogInput, OverlongTypingStopsAtFiveCharacters) {
    OfflineConsole console;
    for (QLineEdit* field : {console.monitor->Edit1, console.monitor->Edit2}) {
        field->clear();
        QTest::keyClicks(field, QStringLiteral("12345678901234567890"));
        EXPECT_EQ(field->text(), QStringLiteral("12345"));
    }
}

TEST(WriteDialogInput, PastedOverlongTextIsCutToFiveCharacters) {
    OfflineConsole console;
    Paste(*console.monitor->Edit1, QString(100'000, QLatin1Char('7')));
    EXPECT_EQ(console.monitor->Edit1->text(), QStringLiteral("77777"));
}

TEST(WriteDialogInput, WriteWithoutAConnection_SaysThePortIsNotOpenAndWritesNothing) {
    OfflineConsole console;
    console.monitor->Edit2->setText(QStringLiteral("31"));
    Paste(*console.monitor->Edit1, QStringLiteral("1x"));
    console.monitor->BitBtn1Click();
    ASSERT_EQ(console.prompter.messages.size(), 1u);
    EXPECT_EQ(console.prompter.LastText(), kNotOpen);
    EXPECT_FALSE(console.PortOpened());
}

// Text that reaches a field by pasting or by being set, and what the write does with it.
struct FieldText {
    const char* name;
    const char* registerText;
    const char* valueText;
    bool written;
    std::int64_t reg;     // when written: the register number used
    std::uint16_t value;  // when written: the value on the wire
    const char* badText;  // when not written: the text named in the conversion message
};

// The message of a value that a register cannot hold (the field's text cut to five characters).
const char* const kOutOfRange = "写入数值超出范围（-32768 至 65535） ！";

const FieldText kFieldTexts[] = {
    {"Value65535", "31", "65535", true, 31, 65535, ""},
    {"Value65536_OutOfRange", "31", "65536", false, 0, 0, kOutOfRange},
    {"ValueMinus1_Is65535", "31", "-1", true, 31, 65535, ""},
    {"ValueMinus32768_CutToFiveCharacters", "31", "-32768", true, 31,
     static_cast<std::uint16_t>(-3276), ""},
    {"Value2147483647_CutToFiveCharacters", "31", "2147483647", true, 31, 21474, ""},
    {"Value2147483648_CutToFiveCharacters", "31", "2147483648", true, 31, 21474, ""},
    {"Value99999999999_CutTo99999_OutOfRange", "31", "99999999999", false, 0, 0, kOutOfRange},
    {"EmptyFields_WriteZeroToRegisterZero", "", "", true, 0, 0, ""},
    {"Register99999_WireAddressFromQuotientAndRemainder", "99999", "5", true, 99999, 5, ""},
    {"RegisterMinus1_WireAddress00FF", "-1", "5", true, -1, 5, ""},
    {"Register65536", "65536", "5", true, 65536, 5, ""},
    {"RegisterMinus32768_CutToFiveCharacters", "-32768", "5", true, -3276, 5, ""},
    {"LoneMinusValue_ConversionMessage", "31", "-", false, 0, 0, "-"},
    {"MinusBetweenDigits_ConversionMessage", "31", "1-2", false, 0, 0, "1-2"},
    {"DoubleMinus_ConversionMessage", "31", "--5", false, 0, 0, "--5"},
    {"PastedLetters_ConversionMessage", "31", "12ab", false, 0, 0, "12ab"},
    {"PastedHex_ConversionMessage", "31", "0x1F", false, 0, 0, "0x1F"},
    {"PastedLettersInRegister_ConversionMessage", "r31", "5", false, 0, 0, "r31"},
    {"PastedControlCharacters_ConversionMessage", "31", "1\t2", false, 0, 0, "1\t2"},
};

class WriteDialogText : public ::testing::TestWithParam<FieldText> {};

TEST_P(WriteDialogText, IsWrittenAsItsNumberOrRefusedWithAClearMessage) {
    const FieldText& c = GetParam();
    OfflineConsole console;
    console.Connect();
    Paste(*console.monitor->Edit2, QString::fromUtf8(c.registerText));
    Paste(*console.monitor->Edit1, QString::fromUtf8(c.valueText));
    console.monitor->BitBtn1Click();
    if (c.written) {
        EXPECT_TRUE(console.prompter.messages.empty()) << console.prompter.LastText().toStdString();
        const std::vector<WireWrite> expected = {{WireAddressOf(c.reg), c.value}};
        EXPECT_EQ(console.Writes(), expected);
    } else {
        ASSERT_EQ(console.prompter.messages.size(), 1u);
        EXPECT_EQ(console.prompter.LastText(),
                  c.badText == kOutOfRange ? QString::fromUtf8(kOutOfRange)
                                           : QStringLiteral("'%1' is not a valid integer value")
                                                 .arg(QString::fromUtf8(c.badText)));
        EXPECT_TRUE(console.Writes().empty());
        EXPECT_TRUE(console.form->Timer1.isActive());
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, WriteDialogText, ::testing::ValuesIn(kFieldTexts),
                         [](const ::testing::TestParamInfo<FieldText>& p) {
                             return std::string(p.param.name);
                         });

// --- The configuration panel's spin fields ---

// Types into a spin field and leaves it, as the operator would.
void TypeAndLeave(TSpinEdit& field, const QString& text) {
    QLineEdit* line = field.findChild<QLineEdit*>();
    line->selectAll();
    QTest::keyClicks(&field, text);
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&field, &leave);
}

struct SpinText {
    const char* name;
    int field;  // 1, 2, 3 or 5: SpinEdit1 .. SpinEdit5
    const char* typed;
    int value;
};

const SpinText kSpinTexts[] = {
    {"Station_Zero_RaisedToOne", 2, "0", 1},
    {"Station_ThreeDigits_CutToTwo", 2, "100", 10},
    {"Station_Negative_RaisedToOne", 2, "-5", 1},
    {"Station_Letters_Ignored", 2, "ab", 1},
    {"Suppression_99999_CutTo9999", 3, "99999", 9999},
    {"Suppression_LoneMinus_IsTheMinimum", 3, "-", 1},
    {"Compensation_Minus32768_ClampedToMinus500", 5, "-32768", -500},
    {"Compensation_65535_ClampedTo500", 5, "65535", 500},
    {"Compensation_MinusBetweenDigits_IsTheMinimum", 5, "1-2", -500},
    {"Gram_65535_ClampedTo60000", 1, "65535", 60000},
    {"Gram_65536_ClampedTo60000", 1, "65536", 60000},
    {"Gram_99999999999_CutAndClampedTo60000", 1, "99999999999", 60000},
    {"Gram_2147483648_CutAndClampedTo21474", 1, "2147483648", 21474},
    {"Gram_Zero_RaisedToOne", 1, "0", 1},
};

TSpinEdit* SpinField(ConfigPanel& panel, int number) {
    switch (number) {
        case 1:
            return panel.SpinEdit1;
        case 2:
            return panel.SpinEdit2;
        case 3:
            return panel.SpinEdit3;
        default:
            return panel.SpinEdit5;
    }
}

int RegisterOf(int field) {
    switch (field) {
        case 1:
            return 88;
        case 2:
            return 90;
        case 3:
            return 93;
        default:
            return 89;
    }
}

class SpinFieldText : public ::testing::TestWithParam<SpinText> {};

TEST_P(SpinFieldText, IsBroughtIntoRangeAndOnlyTheCommitWritesIt) {
    const SpinText& c = GetParam();
    OfflineConsole console;
    console.ConnectWithReply({});
    // Typing writes nothing to the module.
    const std::size_t before = console.Writes().size();
    TSpinEdit& field = *SpinField(console.form->Panel(), c.field);
    if (c.field == 1) {
        field.setVisible(true);
    }
    TypeAndLeave(field, QString::fromUtf8(c.typed));
    EXPECT_EQ(field.value(), c.value);
    EXPECT_EQ(console.Writes().size(), before);
    console.form->BitBtn5Click();
    const std::vector<WireWrite> writes = console.Writes();
    ASSERT_EQ(writes.size(), before + 13);
    EXPECT_EQ(writes[before + static_cast<std::size_t>(RegisterOf(c.field) - 84)],
              (WireWrite{static_cast<std::uint16_t>(RegisterOf(c.field)),
                         static_cast<std::uint16_t>(c.value)}));
    EXPECT_EQ(console.prompter.LastText(), QStringLiteral("标定完毕 ！"));
}

INSTANTIATE_TEST_SUITE_P(Texts, SpinFieldText, ::testing::ValuesIn(kSpinTexts),
                         [](const ::testing::TestParamInfo<SpinText>& p) {
                             return std::string(p.param.name);
                         });

TEST(SpinFieldInput, PastedTextWithLettersIsRefusedAndTheFieldKeepsItsValue) {
    OfflineConsole console;
    TSpinEdit& field = *console.form->Panel().SpinEdit3;
    Paste(*field.findChild<QLineEdit*>(), QStringLiteral("12abc"));
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&field, &leave);
    EXPECT_EQ(field.value(), 100);
    EXPECT_FALSE(console.PortOpened());
}

TEST(StoredRegisterInput, AllOnesInTheConfigurationBlock_EmptyListsClampedFieldsAndKnownWords) {
    OfflineConsole console;
    std::array<std::uint16_t, 100> words{};
    for (int reg = 84; reg <= 95; ++reg) {
        words[static_cast<std::size_t>(reg)] = 0xFFFF;
    }
    console.ConnectWithReply(words);
    ConfigPanel& panel = console.form->Panel();
    EXPECT_EQ(panel.ComboBox2->currentIndex(), -1);
    EXPECT_EQ(panel.Filter_V->currentIndex(), -1);
    EXPECT_EQ(panel.Ch_SUM->currentIndex(), -1);
    EXPECT_EQ(panel.SpinEdit1->value(), 60000);
    EXPECT_EQ(panel.SpinEdit5->value(), -1);
    EXPECT_EQ(panel.SpinEdit2->value(), 99);
    EXPECT_EQ(panel.SpinEdit3->value(), 9999);
    const std::size_t before = console.Writes().size();
    console.form->BitBtn5Click();
    const std::vector<WireWrite> writes = console.Writes();
    ASSERT_EQ(writes.size(), before + 13);
    const std::array<std::uint16_t, 13> expected = {
        65535, 65535, 65535, 65535, 60000, 65535, 99, 65535, 65535, 9999,
        // Filter level -1 plus 16 times channel count -1.
        static_cast<std::uint16_t>(-17), 65535, 59881};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(writes[before + i], (WireWrite{static_cast<std::uint16_t>(84 + i), expected[i]}))
            << "register " << 84 + i;
    }
}

TEST(StoredRegisterInput, CompensationAtTheSignedSixteenBitLimits_IsClampedToItsRange) {
    for (const auto& [word, value] :
         {std::pair<std::uint16_t, int>{32768, -500}, {32767, 500}, {65521, -15}}) {
        OfflineConsole console;
        std::array<std::uint16_t, 100> words{};
        words[89] = word;
        console.ConnectWithReply(words);
        EXPECT_EQ(console.form->Panel().SpinEdit5->value(), value) << word;
    }
}

// --- The settings file ---

const QString kGroup = QStringLiteral("Software\\VR7C-20NP/");

struct StoredSettings {
    const char* name;
    const char* port;  // nullptr: key missing
    const char* baud;
    const char* address;
    std::array<int, 3> indices;  // port, baud rate and address lists after the start
};

const StoredSettings kStoredSettings[] = {
    {"AllThreeGood_Restored", "2", "1", "16", {2, 1, 16}},
    {"PortNotANumber_NothingRestored", "COM3", "1", "5", {0, 3, 1}},
    {"PortBeyond32Bits_NothingRestored", "99999999999", "1", "5", {0, 3, 1}},
    {"Port2147483648_NothingRestored", "2147483648", "1", "5", {0, 3, 1}},
    {"Port2147483647_LeavesThePortListEmpty", "2147483647", "1", "5", {-1, 1, 5}},
    {"NegativePort_LeavesThePortListEmpty", "-1", "1", "5", {-1, 1, 5}},
    {"BaudRateIndex4_LeavesTheBaudListEmpty", "1", "4", "5", {1, -1, 5}},
    {"BaudRateMostNegative_LeavesTheBaudListEmpty", "1", "-2147483648", "5", {1, -1, 5}},
    {"Address17_LeavesTheAddressListEmpty", "1", "2", "17", {1, 2, -1}},
    {"Address65535_LeavesTheAddressListEmpty", "1", "2", "65535", {1, 2, -1}},
    {"AddressNotANumber_PortAndBaudRateStillRestored", "1", "2", "one", {1, 2, 1}},
    {"OnlyPortStored_OthersDefault", "6", nullptr, nullptr, {6, 3, 1}},
    {"PortMissing_NothingRestored", nullptr, "0", "3", {0, 3, 1}},
    {"EmptyValues_NothingRestored", "", "", "", {0, 3, 1}},
};

class StoredSettingsStart : public ::testing::TestWithParam<StoredSettings> {};

TEST_P(StoredSettingsStart, RestoresWhatItCanWithoutAMessageOrAWrite) {
    const StoredSettings& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(path, QSettings::IniFormat);
        const std::array<std::pair<const char*, const char*>, 3> values = {
            {{"Port", c.port}, {"BaudRate", c.baud}, {"Address", c.address}}};
        for (const auto& [key, value] : values) {
            if (value != nullptr) {
                settings.setValue(kGroup + QLatin1String(key), QString::fromUtf8(value));
            }
        }
    }
    OfflineConsole console(path);
    console.form->FormShow();
    EXPECT_TRUE(console.prompter.messages.empty()) << console.prompter.LastText().toStdString();
    EXPECT_EQ(console.form->ComboBox1->currentIndex(), c.indices[0]);
    EXPECT_EQ(console.form->EX_Baud->currentIndex(), c.indices[1]);
    EXPECT_EQ(console.form->EX_Addr->currentIndex(), c.indices[2]);
    EXPECT_FALSE(console.PortOpened());
    // Connecting with an empty list is refused with a clear message and opens nothing.
    console.Connect();
    const bool anyEmpty = c.indices[0] < 0 || c.indices[1] < 0 || c.indices[2] < 0;
    if (anyEmpty) {
        ASSERT_EQ(console.prompter.messages.size(), 1u);
        EXPECT_EQ(console.prompter.LastText(), kNoSelection);
        EXPECT_FALSE(console.PortOpened());
        EXPECT_FALSE(console.form->SpeedButton1->isChecked());
    } else {
        EXPECT_TRUE(console.form->ComDriver().Connected());
        EXPECT_EQ(console.port->openedName, "COM" + std::to_string(c.indices[0] + 1));
    }
    EXPECT_TRUE(console.Writes().empty());
    console.form->FormClose();
}

INSTANTIATE_TEST_SUITE_P(Files, StoredSettingsStart, ::testing::ValuesIn(kStoredSettings),
                         [](const ::testing::TestParamInfo<StoredSettings>& p) {
                             return std::string(p.param.name);
                         });

// Starts a console on a settings file with these bytes, closes it and starts a second one.
void StartTwiceOn(const QByteArray& content, std::array<int, 3> firstIndices) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    {
        OfflineConsole console(path);
        console.form->FormShow();
        EXPECT_TRUE(console.prompter.messages.empty());
        EXPECT_EQ(console.form->ComboBox1->currentIndex(), firstIndices[0]);
        EXPECT_EQ(console.form->EX_Baud->currentIndex(), firstIndices[1]);
        EXPECT_EQ(console.form->EX_Addr->currentIndex(), firstIndices[2]);
        EXPECT_FALSE(console.PortOpened());
        console.form->ComboBox1->setCurrentIndex(4);
        console.form->EX_Baud->setCurrentIndex(0);
        console.form->EX_Addr->setCurrentIndex(9);
        console.form->FormClose();
    }
    OfflineConsole second(path);
    second.form->FormShow();
    EXPECT_EQ(second.form->ComboBox1->currentIndex(), 4);
    EXPECT_EQ(second.form->EX_Baud->currentIndex(), 0);
    EXPECT_EQ(second.form->EX_Addr->currentIndex(), 9);
}

TEST(StoredSettingsFile, BinaryGarbage_DefaultsThenTheNextCloseStoresGoodValues) {
    QByteArray garbage;
    QRandomGenerator random(20240613);
    for (int i = 0; i < 64 * 1024; ++i) {
        garbage.append(static_cast<char>(random.bounded(256)));
    }
    static constexpr char kTail[] = "\0\0\xff\xfe[\x01]=\n";
    garbage.append(kTail, sizeof kTail - 1);
    StartTwiceOn(garbage, {0, 3, 1});
}

TEST(StoredSettingsFile, ValueThatIsNotAText_NothingRestored) {
    StartTwiceOn("[Software%5CVR7C-20NP]\nPort=@ByteArray(2)\nBaudRate=1\nAddress=2\n", {0, 3, 1});
}

TEST(StoredSettingsFile, MegabyteLongValue_NothingRestored) {
    QByteArray content("[Software%5CVR7C-20NP]\nPort=1");
    content.append(QByteArray(1 << 20, '0'));
    content.append("\nBaudRate=1\nAddress=2\n");
    StartTwiceOn(content, {0, 3, 1});
}

TEST(StoredSettingsFile, EmptyFile_DefaultsWithoutAMessage) {
    StartTwiceOn(QByteArray(), {0, 3, 1});
}

TEST(StoredSettingsFile, DirectoryInItsPlace_ExclamationMessageDefaultsAndACleanClose) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    ASSERT_TRUE(QDir().mkpath(path));
    OfflineConsole console(path);
    console.form->FormShow();
    ASSERT_EQ(console.prompter.messages.size(), 1u);
    EXPECT_EQ(console.prompter.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(console.prompter.messages[0].caption, QStringLiteral("注册软件"));
    EXPECT_EQ(console.prompter.LastText(), QStringLiteral("未知的原因，创建注册信息失败！"));
    EXPECT_EQ(console.form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(console.form->EX_Baud->currentIndex(), 3);
    EXPECT_EQ(console.form->EX_Addr->currentIndex(), 1);
    console.form->FormClose();
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_TRUE(console.Writes().empty());
    // The defaults still connect.
    console.Connect();
    EXPECT_TRUE(console.form->ComDriver().Connected());
}

}  // namespace
