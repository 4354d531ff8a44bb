#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "ConfigPanel.h"
#include "ConsoleHarness.h"
#include "DrawGrid.h"
#include "RegisterMap.h"
#include "TSpinEdit.h"

namespace {

// A connected console whose module echoes writes; the panel loaded from `words`.
class Panel : public ::testing::Test {
protected:
    void Connect(const ModuleWords& words) {
        h.EchoWrites();
        h.ConnectWithReply(words);
    }
    ConfigPanel& P() { return h.form->Panel(); }
    std::vector<WireWrite> BlockWrites() const { return h.Writes(); }

    ConsoleHarness h;
};

ModuleWords Block(std::initializer_list<std::pair<int, std::uint16_t>> values) {
    ModuleWords words{};
    words[86] = 0;
    words[88] = 1000;
    words[90] = 1;
    words[93] = 100;
    for (const auto& [reg, value] : values) {
        words[static_cast<std::size_t>(reg)] = value;
    }
    return words;
}

}  // namespace

TEST_F(Panel, StartsWithItsDefaults) {
    EXPECT_EQ(P().SpinEdit2->value(), 1);
    EXPECT_EQ(P().Baud_CAN->currentText(), "500K");
    EXPECT_EQ(P().SpinEdit3->value(), 100);
    EXPECT_EQ(P().Baud_485->currentText(), "19200");
    EXPECT_EQ(P().Filter_V->currentText(), "零级");
    EXPECT_EQ(P().Dat_485->currentText(), "8 E 1");
    EXPECT_EQ(P().Ch_SUM->currentText(), "一个");
    EXPECT_EQ(P().SpinEdit5->value(), -15);
    EXPECT_EQ(P().SpinEdit1->value(), 1000);
    EXPECT_TRUE(P().SpinEdit1->isHidden());
    EXPECT_FALSE(P().SpinEdit5->isHidden());
    EXPECT_EQ(P().ComboBox3->currentText(), "16.7Hz/120ms*");
    EXPECT_EQ(P().ComboBox3->count(), 15);
    EXPECT_EQ(P().ComboBox5->itemText(5), "R(0~1000) ");
    EXPECT_FALSE(P().BitBtn5->isEnabled());
}

TEST_F(Panel, LoadUnpacksFilterAndChannelCount) {
    Connect(Block({{94, 0x0023}}));
    EXPECT_EQ(P().Filter_V->currentText(), "三级");
    EXPECT_EQ(P().Ch_SUM->currentText(), "三个");
}

TEST_F(Panel, LoadReadsCompensationSignedAndClampsNumbersToTheirRange) {
    Connect(Block({{89, 65521}, {90, 0}, {93, 20000}}));
    EXPECT_EQ(P().SpinEdit5->value(), -15);
    EXPECT_EQ(P().SpinEdit2->value(), 1);
    EXPECT_EQ(P().SpinEdit3->value(), 9999);
}

TEST_F(Panel, AnIndexBeyondTheListLeavesItEmptyAndTheCommitSends65535) {
    Connect(Block({{87, 9}}));
    EXPECT_EQ(P().ComboBox5->currentIndex(), -1);
    h.form->BitBtn5Click();
    const std::vector<WireWrite> writes = BlockWrites();
    ASSERT_EQ(writes.size(), 13u);
    EXPECT_EQ(writes[3], (WireWrite{87, 65535}));
}

TEST_F(Panel, LoadCellModeShowsTheFactorAndRelabelsTheLiveGrid) {
    Connect(Block({{86, 2}}));
    EXPECT_FALSE(P().SpinEdit1->isHidden());
    EXPECT_TRUE(P().SpinEdit5->isHidden());
    EXPECT_EQ(P().Label18->text(), "1mV=Gram:");
    EXPECT_FALSE(P().ComboBox5->isEnabled());
    EXPECT_EQ(h.form->StringGrid1->Cell(0, 1), "采集电压(mV)");
    EXPECT_EQ(h.form->StringGrid1->Cell(0, 2), "对应重量(KG)");
}

TEST_F(Panel, Pt100ModeShowsResistanceAndTheRangeHint) {
    Connect(Block({{86, 1}}));
    EXPECT_EQ(h.form->StringGrid1->Cell(0, 1), "采集电阻(Ω)");
    EXPECT_EQ(h.form->StringGrid1->Cell(0, 2), "对应温度(℃)");
    EXPECT_EQ(P().ComboBox4->toolTip(), "0~410℃");
    EXPECT_EQ(P().Label18->text(), "温度补偿:");
    EXPECT_FALSE(P().ComboBox5->isEnabled());
}

TEST_F(Panel, AnUnknownModeLeavesTheListEmptyAndArrangesAsForPt100) {
    Connect(Block({{86, 7}}));
    EXPECT_EQ(P().ComboBox4->currentIndex(), -1);
    EXPECT_EQ(h.form->StringGrid1->Cell(0, 1), "采集电阻(Ω)");
    EXPECT_FALSE(P().SpinEdit5->isHidden());
}

TEST_F(Panel, ThermocoupleModeEnablesTheTypeListAndClearsTheHint) {
    Connect(Block({{86, 1}}));
    P().ComboBox4->setCurrentIndex(0);
    h.form->ComboBox4Change();
    EXPECT_TRUE(P().ComboBox5->isEnabled());
    EXPECT_TRUE(P().ComboBox4->toolTip().isEmpty());
    EXPECT_EQ(h.form->StringGrid1->Cell(0, 1), "采集电压(mV)");
}

TEST_F(Panel, EditsAfterTheFourthGoodReplySurviveAndAReconnectLoadsAgain) {
    const ModuleWords words = Block({{90, 5}});
    Connect(words);
    for (int reply = 2; reply <= 4; ++reply) {
        h.Tick();
        h.ReplyAndTick(words);
    }
    P().SpinEdit2->setValue(42);
    h.Tick();
    h.ReplyAndTick(words);
    EXPECT_EQ(P().SpinEdit2->value(), 42);
    h.ClickConnect();
    h.ConnectWithReply(words);
    EXPECT_EQ(P().SpinEdit2->value(), 5);
}

TEST_F(Panel, CommitWritesTheBlockInOrderAndSaysCalibrationComplete) {
    Connect(Block({}));
    P().Filter_V->setCurrentIndex(9);
    P().Ch_SUM->setCurrentIndex(5);
    P().SpinEdit5->setValue(-15);
    bool pollingAtMessage = true;
    h.prompter.onMessage = [&](const PromptRecord&) {
        pollingAtMessage = h.form->Timer1.isActive();
    };
    h.form->BitBtn5Click();
    const std::vector<WireWrite> writes = BlockWrites();
    ASSERT_EQ(writes.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(writes[static_cast<std::size_t>(i)].address, 84 + i);
    }
    EXPECT_EQ(writes[5].value, 65521);
    EXPECT_EQ(writes[10].value, 89);
    EXPECT_EQ(writes[12].value, 59881);
    EXPECT_EQ(h.prompter.LastText(), "标定完毕 ！");
    EXPECT_FALSE(pollingAtMessage);
    EXPECT_TRUE(h.form->Timer1.isActive());
}

TEST_F(Panel, ACommitThatStopsSaysWhereAndWhichRegistersWereWritten) {
    const std::pair<int, const char*> cases[] = {
        {84, "标定未完成：寄存器 84 写入失败，84 至 96 未写入 ！"},
        {85, "标定未完成：寄存器 84 已写入，寄存器 85 写入失败，85 至 96 未写入 ！"},
        {90, "标定未完成：寄存器 84 至 89 已写入，寄存器 90 写入失败，90 至 96 未写入 ！"},
        {95, "标定未完成：寄存器 84 至 94 已写入，寄存器 95 写入失败，95 至 96 未写入 ！"}};
    Connect(Block({}));
    for (const auto& [failing, text] : cases) {
        h.port->writes.clear();
        h.prompter.messages.clear();
        h.port->onWrite = [&, failing = failing](const std::vector<std::uint8_t>& bytes) {
            if (bytes[1] == 6 && bytes[3] != failing) {
                h.port->feed(bytes);
            }
        };
        h.form->BitBtn5Click();
        std::vector<int> registers;
        for (const WireWrite& w : BlockWrites()) {
            if (registers.empty() || registers.back() != w.address) {
                registers.push_back(w.address);
            }
        }
        std::vector<int> expected;
        for (int reg = 84; reg <= failing; ++reg) {
            expected.push_back(reg);
        }
        EXPECT_EQ(registers, expected) << failing;
        ASSERT_EQ(h.prompter.messages.size(), 1u) << failing;
        EXPECT_EQ(h.prompter.messages[0].text, text);
        EXPECT_EQ(h.prompter.messages[0].caption, "VR7C-20NP");
        EXPECT_EQ(h.prompter.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(h.prompter.messages[0].owner, h.form.get());
        EXPECT_TRUE(h.form->Timer1.isActive());
    }
}

TEST_F(Panel, ACommitWhoseOnlyFailureIsTheMarkerStillSaysComplete) {
    Connect(Block({}));
    h.port->onWrite = [&](const std::vector<std::uint8_t>& bytes) {
        if (bytes[1] == 6 && bytes[3] != 96) {
            h.port->feed(bytes);
        }
    };
    h.form->BitBtn5Click();
    EXPECT_EQ(h.prompter.LastText(), "标定完毕 ！");
}

TEST_F(Panel, ACommitShowsATypedValueOutOfRangeAsTheBoundItWrote) {
    Connect(Block({}));
    P().SpinEdit5->findChild<QLineEdit*>()->clear();
    QTest::keyClicks(P().SpinEdit5, QStringLiteral("700"));
    h.form->BitBtn5Click();
    EXPECT_EQ(h.Writes()[5], (WireWrite{89, 500}));
    EXPECT_EQ(P().SpinEdit5->text(), "500");
}

TEST(SpinFields, ClampTypedValuesOnLeavingAndTakeANonNumberAsTheMinimum) {
    TSpinEdit spin(-500, 500, 5, -15);
    EXPECT_EQ(spin.ValueOf(QStringLiteral("900")), 500);
    EXPECT_EQ(spin.ValueOf(QStringLiteral("-9999")), -500);
    EXPECT_EQ(spin.ValueOf(QStringLiteral("1-2")), -500);
    EXPECT_EQ(spin.ValueOf(QString()), -500);
    QLineEdit* edit = spin.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->clear();
    QTest::keyClicks(&spin, QStringLiteral("9a99"));
    EXPECT_EQ(edit->text(), "999");
    QTest::keyClick(&spin, Qt::Key_Enter);
    EXPECT_EQ(spin.value(), 500);
    EXPECT_EQ(edit->text(), "500");
    edit->setText(QStringLiteral("-"));
    QTest::keyClick(&spin, Qt::Key_Enter);
    EXPECT_EQ(spin.value(), -500);
}

TEST(CommitSequence, CountsWrittenRegistersAndJudgesCompletionByTheFirstTwelve) {
    ConfigPanel::Block block{};
    std::vector<int> seen;
    const int written = WriteBlock(block, [&](std::int32_t reg, std::uint16_t) {
        seen.push_back(reg);
        return reg != 86;
    });
    EXPECT_EQ(written, 2);
    EXPECT_EQ(seen, (std::vector<int>{84, 85, 86}));
    EXPECT_FALSE(CommitComplete(11));
    EXPECT_TRUE(CommitComplete(12));
    EXPECT_TRUE(CommitComplete(13));
}
