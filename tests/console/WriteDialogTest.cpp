#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>
#include <tuple>

#include "ConsoleHarness.h"
#include "DrawGrid.h"

namespace {

// A connected console with a module that echoes writes, and the dialog's fields filled.
class WriteDialog : public ::testing::Test {
protected:
    void SetUp() override {
        h.EchoWrites();
        h.ConnectWithReply({});
        h.clock.sleeps.clear();
    }
    TMonitorDf& Dialog() { return *h.monitor; }
    void Fill(const QString& reg, const QString& value) {
        Dialog().Edit2->setText(reg);
        Dialog().Edit1->setText(value);
    }

    ConsoleHarness h;
};

}  // namespace

TEST_F(WriteDialog, WritesTheValueWithPollingPausedFiftyMilliseconds) {
    Fill(QStringLiteral("31"), QStringLiteral("1234"));
    bool timerOffDuringWrite = false;
    h.port->onWrite = [&](const std::vector<std::uint8_t>& bytes) {
        timerOffDuringWrite = !h.form->Timer1.isActive();
        h.port->feed(bytes);
    };
    Dialog().BitBtn1Click();
    const std::vector<WireWrite> expected = {{31, 1234}};
    EXPECT_EQ(h.Writes(), expected);
    EXPECT_TRUE(timerOffDuringWrite);
    ASSERT_FALSE(h.clock.sleeps.empty());
    EXPECT_EQ(h.clock.sleeps.front(), 50u);
    EXPECT_TRUE(h.form->Timer1.isActive());
    EXPECT_TRUE(h.prompter.messages.empty());
}

TEST_F(WriteDialog, EmptyFieldsWriteZeroToRegisterZeroAndShowZero) {
    Fill({}, {});
    Dialog().BitBtn1Click();
    const std::vector<WireWrite> expected = {{0, 0}};
    EXPECT_EQ(h.Writes(), expected);
    EXPECT_EQ(Dialog().Edit1->text(), "0");
    EXPECT_EQ(Dialog().Edit2->text(), "0");
}

TEST_F(WriteDialog, SixteenBitValuesGoOutAsTheirWordAndOthersAreRefusedWithNothingWritten) {
    const std::tuple<const char*, std::optional<std::uint16_t>> cases[] = {
        {"-1", 65535},           {"-9999", 55537},        {"65535", 65535},       {"0", 0},
        {"65536", std::nullopt}, {"70000", std::nullopt}, {"99999", std::nullopt}};
    for (const auto& [typed, word] : cases) {
        h.port->writes.clear();
        h.prompter.messages.clear();
        Fill(QStringLiteral("40"), QString::fromLatin1(typed));
        Dialog().BitBtn1Click();
        if (word) {
            EXPECT_EQ(h.Writes(), (std::vector<WireWrite>{{40, *word}})) << typed;
            EXPECT_TRUE(h.prompter.messages.empty()) << typed;
            continue;
        }
        EXPECT_TRUE(h.Writes().empty()) << typed;
        ASSERT_EQ(h.prompter.messages.size(), 1u) << typed;
        const PromptRecord& told = h.prompter.messages[0];
        EXPECT_EQ(told.text, "写入数值超出范围（-32768 至 65535） ！");
        EXPECT_EQ(told.caption, "VR7C-20NP");
        EXPECT_EQ(told.icon, MessageIcon::Information);
        EXPECT_EQ(told.owner, &Dialog());
        EXPECT_TRUE(h.form->Timer1.isActive());
    }
}

TEST_F(WriteDialog, ARegisterOpenedFromTheGridShowsItsValueInFullAndWritesItsWordBack) {
    const std::tuple<std::uint16_t, std::uint16_t, const char*> held[] = {
        {76, 65531, "-5"}, {76, 32768, "-32768"}, {81, 65535, "-1"}, {70, 65535, "65535"}};
    h.prompter.onModal = [&](QDialog&) { Dialog().BitBtn1Click(); };
    for (const auto& [reg, word, shown] : held) {
        ModuleWords words{};
        words[reg] = word;
        h.Tick();
        h.ReplyAndTick(words);
        h.form->StringGrid2->SetCurrentCell(reg % 6 + 1, reg / 6 + 1);
        h.form->StringGrid2DblClick();
        EXPECT_EQ(Dialog().Edit1->text(), shown);
        EXPECT_EQ(h.Writes().back(), (WireWrite{reg, word}));
    }
}

TEST_F(WriteDialog, EscOnlyClosesFromTheValueFieldAndEnterPressesTheFocusedButton) {
    Fill(QStringLiteral("32"), QStringLiteral("7"));
    const std::tuple<QWidget*, Qt::Key, bool> keys[] = {
        {Dialog().BitBtn1, Qt::Key_Escape, true},   {Dialog().BitBtn3, Qt::Key_Escape, true},
        {Dialog().CheckBox1, Qt::Key_Escape, true}, {Dialog().CheckBox1, Qt::Key_Return, true},
        {Dialog().BitBtn3, Qt::Key_Return, false},  {Dialog().BitBtn1, Qt::Key_Return, false}};
    for (const auto& [widget, key, open] : keys) {
        Dialog().show();
        widget->setFocus();
        QTest::keyClick(widget, key);
        EXPECT_EQ(Dialog().isVisible(), open) << widget->objectName().toStdString() << key;
    }
    EXPECT_EQ(h.Writes().size(), 1u);
}

TEST_F(WriteDialog, TheBusyPointerShowsWhileAWriteOrACommitBlocks) {
    std::vector<bool> busy;
    h.port->onWrite = [&](const std::vector<std::uint8_t>& bytes) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        busy.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
        h.port->feed(bytes);
    };
    Dialog().BitBtn1Click();
    h.form->BitBtn5Click();
    EXPECT_EQ(busy, std::vector<bool>(14, true));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WriteDialog, TextThatIsNotAWholeNumberShowsTheConversionErrorAndWritesNothing) {
    Fill(QStringLiteral("30"), QStringLiteral("1-2"));
    Dialog().BitBtn1Click();
    EXPECT_EQ(h.prompter.LastText(), "'1-2' is not a valid integer value");
    EXPECT_TRUE(h.Writes().empty());
    EXPECT_TRUE(h.clock.sleeps.empty());
    EXPECT_TRUE(h.form->Timer1.isActive());
    Fill(QStringLiteral("-"), QStringLiteral("5"));
    Dialog().BitBtn1Click();
    EXPECT_EQ(h.prompter.LastText(), "'-' is not a valid integer value");
    EXPECT_TRUE(h.Writes().empty());
}

TEST_F(WriteDialog, AnUnconfirmedWriteSaysCommunicationFailedAfterPollingResumed) {
    h.EchoWrites(false);
    Fill(QStringLiteral("30"), QStringLiteral("5"));
    bool pollingAtMessage = false;
    h.prompter.onMessage = [&](const PromptRecord&) {
        pollingAtMessage = h.form->Timer1.isActive();
    };
    Dialog().BitBtn1Click();
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0].text, "通信失败 ！");
    EXPECT_EQ(h.prompter.messages[0].caption, "VR7C-20NP");
    EXPECT_EQ(h.prompter.messages[0].owner, &Dialog());
    EXPECT_TRUE(pollingAtMessage);
    EXPECT_EQ(h.Writes().size(), 6u);
}

TEST_F(WriteDialog, WithoutAStartedConnectionItSaysThePortIsNotOpen) {
    h.ClickConnect();
    Fill(QStringLiteral("30"), QStringLiteral("5"));
    Dialog().show();
    Dialog().BitBtn1Click();
    EXPECT_EQ(h.prompter.LastText(), "通信端口未打开 ！");
    EXPECT_TRUE(h.Writes().empty());
    EXPECT_TRUE(Dialog().isVisible());
    Dialog().hide();
}

TEST_F(WriteDialog, ClosesAfterWritingOnlyWhenTheBoxIsTicked) {
    Fill(QStringLiteral("30"), QStringLiteral("5"));
    Dialog().show();
    Dialog().CheckBox1->setChecked(false);
    Dialog().BitBtn1Click();
    EXPECT_TRUE(Dialog().isVisible());
    Dialog().CheckBox1->setChecked(true);
    Dialog().BitBtn1Click();
    EXPECT_FALSE(Dialog().isVisible());
}

TEST_F(WriteDialog, TheBoxIsTickedAgainAtEveryShow) {
    Dialog().show();
    Dialog().CheckBox1->setChecked(false);
    Dialog().hide();
    Dialog().show();
    EXPECT_TRUE(Dialog().CheckBox1->isChecked());
    Dialog().hide();
}

TEST_F(WriteDialog, LettersCannotBeTypedIntoEitherField) {
    Fill({}, {});
    QTest::keyClicks(Dialog().Edit1, QStringLiteral("1a2-b3x"));
    QTest::keyClicks(Dialog().Edit2, QStringLiteral("q4-5.6 "));
    EXPECT_EQ(Dialog().Edit1->text(), "12-3");
    EXPECT_EQ(Dialog().Edit2->text(), "4-56");
    QTest::keyClick(Dialog().Edit1, Qt::Key_Backspace);
    EXPECT_EQ(Dialog().Edit1->text(), "12-");
    QTest::keyClick(Dialog().Edit1, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Dialog().Edit1->selectedText(), "12-");
}

TEST_F(WriteDialog, EnterInTheValueFieldWritesButNotInTheRegisterField) {
    Fill(QStringLiteral("32"), QStringLiteral("7"));
    QTest::keyClick(Dialog().Edit2, Qt::Key_Return);
    EXPECT_TRUE(h.Writes().empty());
    QTest::keyClick(Dialog().Edit1, Qt::Key_Return);
    const std::vector<WireWrite> expected = {{32, 7}};
    EXPECT_EQ(h.Writes(), expected);
}

TEST_F(WriteDialog, EscInTheValueFieldClosesWithoutWriting) {
    Fill(QStringLiteral("32"), QStringLiteral("7"));
    Dialog().show();
    QTest::keyClick(Dialog().Edit2, Qt::Key_Escape);
    EXPECT_TRUE(Dialog().isVisible());
    QTest::keyClick(Dialog().Edit1, Qt::Key_Escape);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_TRUE(h.Writes().empty());
}

TEST(WriteDialogLayout, CarriesItsCaptionsSizesAndLimits) {
    ConsoleHarness h;
    TMonitorDf& d = *h.monitor;
    EXPECT_EQ(d.windowTitle(), " 写寄存器 ");
    EXPECT_EQ(d.size(), QSize(265, 130));
    EXPECT_EQ(d.Edit1->maxLength(), 5);
    EXPECT_EQ(d.Edit2->maxLength(), 5);
    EXPECT_EQ(d.Edit2->text(), "10000");
    EXPECT_EQ(d.Edit1->text(), "100");
    SetFieldText(*d.Edit1, QStringLiteral("-32768"));
    QTest::keyClick(d.Edit1, Qt::Key_Backspace);
    QTest::keyClicks(d.Edit1, QStringLiteral("12"));
    EXPECT_EQ(d.Edit1->text(), "-3276");
    EXPECT_EQ(d.BitBtn1->text(), "写入(&W)");
    EXPECT_EQ(d.BitBtn3->text(), "关闭(&C)");
    EXPECT_EQ(d.CheckBox1->text(), "写入后关闭对话框");
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(WriteDialogKeys, TheFilterPassesDigitsMinusBackspaceAndNonTypingKeysOnly) {
    EXPECT_TRUE(KeyPassesFilter(Qt::Key_5, QStringLiteral("5")));
    EXPECT_TRUE(KeyPassesFilter(Qt::Key_Minus, QStringLiteral("-")));
    EXPECT_TRUE(KeyPassesFilter(Qt::Key_Backspace, QStringLiteral("\b")));
    EXPECT_TRUE(KeyPassesFilter(Qt::Key_Left, QString()));
    EXPECT_TRUE(KeyPassesFilter(Qt::Key_Tab, QStringLiteral("\t")));
    EXPECT_FALSE(KeyPassesFilter(Qt::Key_A, QStringLiteral("a")));
    EXPECT_FALSE(KeyPassesFilter(Qt::Key_Period, QStringLiteral(".")));
    EXPECT_FALSE(KeyPassesFilter(Qt::Key_Plus, QStringLiteral("+")));
    EXPECT_FALSE(KeyPassesFilter(Qt::Key_Return, QStringLiteral("\r")));
}
