#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>

#include <random>

#include "ConsoleHarness.h"
#include "DrawGrid.h"
#include "LiveGrid.h"
#include "RegisterGrid.h"
#include "RegisterMap.h"

namespace {

class LiveGridCells : public ::testing::Test {
protected:
    void SetPair(int channel, std::uint16_t low, std::uint16_t high) {
        RegisterImage[static_cast<std::size_t>(12 + 2 * channel)] = low;
        RegisterImage[static_cast<std::size_t>(13 + 2 * channel)] = high;
    }
    RegisterImageWords RegisterImage{};
};

}  // namespace

TEST_F(LiveGridCells, ShowZerosBeforeTheFirstGoodPoll) {
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 1), "0.00000");
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 2), "0.0");
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 3), "0.0");
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 4), "OFF 0.0%");
}

TEST_F(LiveGridCells, RowOneShowsTheSignedPairInMillivoltsOrOhms) {
    SetPair(0, 0, 65535);
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 1), "-0.65536");
    SetPair(1, 65531, 65535);
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 2, 1), "-0.00005");
    SetPair(2, 10000, 0);
    RegisterImage[86] = 1;
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 3, 1), "100.00");
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 3, 1).color, QColor(0, 128, 128));
}

TEST_F(LiveGridCells, RowTwoShowsTemperatureOrWeightUnsigned) {
    RegisterImage[0] = 65436;
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 2), "6543.6");
    RegisterImage[86] = 2;
    RegisterImage[1] = 1500;
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 2, 2), "1.500");
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 2, 2).color, QColor(0, 0, 255));
}

TEST_F(LiveGridCells, AnUnlistedModeUsesFiveDecimalsInRowOneAndThreeInRowTwo) {
    RegisterImage[86] = 3;
    SetPair(0, 12345, 0);
    RegisterImage[0] = 12345;
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 1), "0.12345");
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 2), "12.345");
}

TEST_F(LiveGridCells, RowThreeShowsTheSetTemperatureInTheGridsColour) {
    RegisterImage[35] = 2505;
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 6, 3), "250.5");
    EXPECT_TRUE(LiveGrid::CellAt(RegisterImage, 6, 3).gridColor);
}

TEST_F(LiveGridCells, RowFourShowsTheOutputStateAndPercentage) {
    RegisterImage[9] = 5;
    RegisterImage[24] = 1000;
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 1, 4).text, "ON");
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 1, 4).color, QColor(255, 0, 0));
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 1, 4).percent, "100.0%");
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 2, 4).text, "OFF");
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 2, 4).color, QColor(0, 128, 0));
    EXPECT_EQ(LiveGrid::CellAt(RegisterImage, 3, 4).text, "ON");
    for (int col = 4; col <= 6; ++col) {
        EXPECT_EQ(LiveGrid::CellAt(RegisterImage, col, 4).text, "OFF");
    }
    EXPECT_EQ(LiveGrid::CellText(RegisterImage, 1, 4), "ON 100.0%");
}

TEST_F(LiveGridCells, CellRegistersFollowColumnPlusTenTimesRowMinusOne) {
    EXPECT_EQ(LiveGrid::CellRegister(1, 3), 30);
    EXPECT_EQ(LiveGrid::CellRegister(6, 3), 35);
    EXPECT_EQ(LiveGrid::CellRegister(1, 1), 10);
    EXPECT_EQ(LiveGrid::CellRegister(6, 4), 45);
}

TEST_F(LiveGridCells, DrawsTheOutputStateAndThePercentageBesideIt) {
    RegisterImage[9] = 1;
    RegisterImage[24] = 1000;
    QImage image(131, 33, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("AR PL UKai CN"), 18, QFont::Bold));
    LiveGrid::DrawCell(RegisterImage, painter, 1, 4, image.rect());
    painter.end();
    bool stateDrawn = false;
    bool percentDrawn = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            stateDrawn |= x < 50 && pixel.red() > 200 && pixel.green() < 80;
            percentDrawn |= x >= 50 && pixel.blue() > 200 && pixel.red() < 220 && pixel.red() > 120;
        }
    }
    EXPECT_TRUE(stateDrawn);
    EXPECT_TRUE(percentDrawn);
}

TEST(LiveGridWindow, CarriesTheHeaderTextsAndSizes) {
    ConsoleHarness h;
    DrawGrid& grid = *h.form->StringGrid1;
    EXPECT_EQ(grid.objectName(), "StringGrid1");
    EXPECT_EQ(grid.Cell(0, 0), "AD通道号(+-)");
    EXPECT_EQ(grid.Cell(0, 1), "采集电压(mV)");
    EXPECT_EQ(grid.Cell(0, 2), "对应温度(℃)");
    EXPECT_EQ(grid.Cell(0, 3), "设定温度(℃)");
    EXPECT_EQ(grid.Cell(0, 4), "控制输出(.%)");
    EXPECT_EQ(grid.Cell(1, 0), " AD0");
    EXPECT_EQ(grid.Cell(6, 0), " AD5");
    EXPECT_EQ(grid.columnWidth(0), 157);
    EXPECT_EQ(grid.columnWidth(1), 132);
    EXPECT_EQ(grid.rowHeight(2), 34);
    EXPECT_EQ(grid.geometry(), QRect(3, 4, 952, 173));
}

TEST(LiveGridWindow, StartsOnTheFirstSetTemperatureCell) {
    ConsoleHarness h;
    EXPECT_EQ(h.form->StringGrid1->Col(), 1);
    EXPECT_EQ(h.form->StringGrid1->Row(), 3);
    EXPECT_EQ(h.form->LiveCellRegister, 30);
}

TEST(LiveGridWindow, OffersTheCellTextsAsDisplayDataForScreenReaders) {
    ConsoleHarness h;
    h.form->RegisterImage[9] = 1;
    h.form->RegisterImage[24] = 5;
    const QAbstractItemModel& model = *h.form->StringGrid1->model();
    EXPECT_EQ(model.data(model.index(4, 1), Qt::DisplayRole).toString(), "ON 0.5%");
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "AD通道号(+-)");
    EXPECT_EQ(model.data(model.index(3, 2), Qt::AccessibleTextRole).toString(), "0.0");
}

TEST(LiveGridWindow, DoubleClickBeforeAGoodReplyRefusesWithConnectionNotEstablished) {
    ConsoleHarness h;
    h.ClickConnect();
    h.form->StringGrid1DblClick();
    ASSERT_EQ(h.prompter.messages.size(), 1u);
    EXPECT_EQ(h.prompter.messages[0].caption, "VR7C-20NP");
    EXPECT_EQ(h.prompter.messages[0].text, "连接未成功 ！");
    EXPECT_TRUE(h.prompter.modals.empty());
}

TEST(LiveGridWindow, DoubleClickOnASetTemperatureOpensTheDialogWithRegisterAndRawValue) {
    ConsoleHarness h;
    ModuleWords words{};
    words[33] = 1234;
    h.ConnectWithReply(words);
    h.form->StringGrid1->SetCurrentCell(4, 3);
    h.form->StringGrid1DblClick();
    ASSERT_EQ(h.prompter.modals.size(), 1u);
    EXPECT_EQ(h.prompter.modals[0], h.monitor.get());
    EXPECT_EQ(h.monitor->Edit2->text(), "33");
    EXPECT_EQ(h.monitor->Edit1->text(), "1234");
}

TEST(LiveGridWindow, DoubleClickOnOtherRowsDoesNothingLinkedOrNot) {
    ConsoleHarness h;
    for (int row : {1, 2, 4}) {
        h.form->StringGrid1->SetCurrentCell(2, row);
        h.form->StringGrid1DblClick();
    }
    h.ConnectWithReply({});
    for (int row : {1, 2, 4}) {
        h.form->StringGrid1->SetCurrentCell(2, row);
        h.form->StringGrid1DblClick();
    }
    EXPECT_TRUE(h.prompter.messages.empty());
    EXPECT_TRUE(h.prompter.modals.empty());
}

TEST(LiveGridWindow, HeaderCellsCannotBecomeCurrent) {
    ConsoleHarness h;
    h.form->StringGrid1->SetCurrentCell(0, 2);
    h.form->StringGrid1->SetCurrentCell(3, 0);
    EXPECT_EQ(h.form->LiveCellRegister, 30);
}

// A grid makes again only the texts of cells whose key has changed: whatever word of the image
// changes, a cell whose key stays the same must keep its text too.
TEST(GridCellKeys, ChangeWheneverTheTextMayChange) {
    using TextFunction = QString (*)(const RegisterImageWords&, int, int);
    using KeyFunction = std::uint64_t (*)(const RegisterImageWords&, int, int);
    struct Grid {
        TextFunction text;
        KeyFunction key;
        int cols;
        int rows;
    };
    const Grid grids[] = {
        {&LiveGrid::CellText, &LiveGrid::CellKey, LiveGrid::kColCount, LiveGrid::kRowCount},
        {&RegisterGrid::CellText, &RegisterGrid::CellKey, RegisterGrid::kColCount,
         RegisterGrid::kRowCount},
    };
    std::mt19937 random(7);
    const std::uint16_t values[] = {0, 1, 2, 3, 0x7fff, 0x8000, 0xffff};
    for (const Grid& grid : grids) {
        for (int trial = 0; trial < 20; ++trial) {
            RegisterImageWords before{};
            for (auto& word : before) {
                word = trial % 2 == 0 ? static_cast<std::uint16_t>(random()) : values[random() % 7];
            }
            for (std::size_t reg = 0; reg < before.size(); ++reg) {
                RegisterImageWords after = before;
                after[reg] = values[random() % 7] ^ static_cast<std::uint16_t>(trial % 3);
                for (int row = 1; row < grid.rows; ++row) {
                    for (int col = 1; col < grid.cols; ++col) {
                        if (grid.key(before, col, row) == grid.key(after, col, row)) {
                            ASSERT_EQ(grid.text(before, col, row), grid.text(after, col, row))
                                << "register " << reg << " cell " << col << "," << row;
                        }
                    }
                }
            }
        }
    }
}
