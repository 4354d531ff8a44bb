#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>

#include "BannerGroupBox.h"
#include "ConsoleHarness.h"
#include "DrawGrid.h"
#include "PanelSnapshotStyle.h"
#include "RegisterGrid.h"
#include "RegisterMap.h"
#include "RegisterNumbers.h"

TEST(RegisterGrid, HeaderTextsCarryOffsetsAndRegisterLabels) {
    ConsoleHarness h;
    const DrawGrid& grid = *h.form->StringGrid2;
    EXPECT_EQ(grid.Cell(0, 0), "元件编号");
    EXPECT_EQ(grid.Cell(1, 0), " +0");
    EXPECT_EQ(grid.Cell(6, 0), " +5");
    EXPECT_EQ(grid.Cell(0, 1), " 4x0000");
    EXPECT_EQ(grid.Cell(0, 2), " 4x0006");
    EXPECT_EQ(grid.Cell(0, 3), " 4x0012");
    EXPECT_EQ(grid.Cell(0, 14), " 4x0078");
    EXPECT_EQ(grid.columnWidth(0), 61);
    EXPECT_EQ(grid.columnWidth(3), 57);
}

TEST(RegisterGrid, ShowsRegistersSignedOnlyFrom76To81) {
    RegisterImageWords image{};
    image[80] = 65535;
    image[70] = 65535;
    EXPECT_EQ(RegisterGrid::ValueText(image, 80), "-1");
    EXPECT_EQ(RegisterGrid::ValueText(image, 70), "65535");
    EXPECT_EQ(RegisterGrid::CellText(image, 3, 14), "-1");
}

TEST(RegisterGrid, SelectionCaptionsNameTheRegister) {
    ConsoleHarness h;
    h.form->StringGrid2->SetCurrentCell(1, 6);
    EXPECT_EQ(h.form->SelectedRegister, 30);
    EXPECT_EQ(h.form->GroupBox3->title(), "全部寄存器监控  4x0030 : TC0温度设置值");
    h.form->StringGrid2->SetCurrentCell(6, 1);
    EXPECT_EQ(h.form->GroupBox3->title(), "全部寄存器监控  4x005 : AD5检测温度值");
}

TEST(RegisterGrid, DoubleClickOnASignedRegisterOpensTheDialogWithItsSignedValue) {
    ConsoleHarness h;
    ModuleWords words{};
    words[76] = 65531;
    h.ConnectWithReply(words);
    h.form->StringGrid2->SetCurrentCell(5, 13);
    h.form->StringGrid2DblClick();
    ASSERT_EQ(h.prompter.modals.size(), 1u);
    EXPECT_EQ(h.monitor->Edit2->text(), "76");
    EXPECT_EQ(h.monitor->Edit1->text(), "-5");
}

TEST(RegisterGrid, DoubleClickBelowRegister30OrBeforeAnySelectionDoesNothing) {
    ConsoleHarness h;
    h.ConnectWithReply({});
    h.form->StringGrid2DblClick();
    h.form->StringGrid2->SetCurrentCell(6, 5);
    EXPECT_EQ(h.form->SelectedRegister, 29);
    h.form->StringGrid2DblClick();
    EXPECT_TRUE(h.prompter.modals.empty());
    EXPECT_TRUE(h.prompter.messages.empty());
}

TEST(RegisterGrid, DoubleClickBeforeTheFirstGoodReplyRefuses) {
    ConsoleHarness h;
    h.ClickConnect();
    h.form->StringGrid2->SetCurrentCell(6, 6);
    h.form->StringGrid2DblClick();
    EXPECT_EQ(h.prompter.LastText(), "连接未成功 ！");
    EXPECT_TRUE(h.prompter.modals.empty());
}

TEST(ConsoleWindow, WhatRepliesRepaintMatchesAWholeNewPaint) {
    // Only changed cells and captions are painted after a reply, each grid cell with its own
    // grid lines; what the operator then sees must be what painting everything afresh shows.
    ConsoleHarness h;
    h.form->show();
    ModuleWords words{};
    for (int i = 0; i < 100; ++i) {
        words[i] = static_cast<std::uint16_t>(i * 977 + 13);
    }
    h.ConnectWithReply(words);
    h.form->StringGrid2->verticalScrollBar()->setValue(3);
    h.form->StringGrid1->SetCurrentCell(2, 3);
    // Everything painted once, so that the replies below repaint only what they change.
    QApplication::processEvents();
    for (int reply = 0; reply < 3; ++reply) {
        // Cold junction: a new caption, then the first one again.
        words[10] = static_cast<std::uint16_t>(2500 + reply % 2);
        words[12 + 2 * reply] = static_cast<std::uint16_t>(40000 + reply);
        words[30 + reply] = static_cast<std::uint16_t>(reply);
        words[40] = static_cast<std::uint16_t>(reply);
        // Values that grow a digit, change in the middle, and switch an output on.
        words[Reg::kMeasuredFirst] = static_cast<std::uint16_t>(999 + reply);
        words[Reg::kMeasuredFirst + 1] = static_cast<std::uint16_t>(1234 + 10 * reply);
        words[Reg::kOutputBits] = static_cast<std::uint16_t>(reply);
        words[Reg::kOutputPercentFirst] = static_cast<std::uint16_t>(125 + reply);
        h.ReplyAndTick(words);
        h.Tick(2);
    }
    QApplication::processEvents();
    // Above the status line, whose clock may turn between the two pictures.
    const QRect compared(0, 0, h.form->width(), h.form->GroupBox3->geometry().bottom() + 1);
    const QImage onScreen = h.form->screen()->grabWindow(h.form->winId()).toImage().copy(compared);
    const QImage afresh = h.form->grab(compared).toImage();
    EXPECT_EQ(onScreen.convertToFormat(QImage::Format_RGB32),
              afresh.convertToFormat(QImage::Format_RGB32));
    // And the grid lines stand right of and below a repainted cell, in one colour that is not
    // the cells' own.
    const DrawGrid& grid = *h.form->StringGrid1;
    const QRect cell = grid.visualRect(grid.model()->index(1, 1));
    const auto onWindow = [&](QPoint p) {
        return onScreen.pixelColor(grid.viewport()->mapTo(h.form.get(), p));
    };
    const QColor right = onWindow({cell.right() + 1, cell.center().y()});
    EXPECT_EQ(right, onWindow({cell.center().x(), cell.bottom() + 1}));
    EXPECT_NE(right, grid.palette().color(QPalette::Base));
}

TEST(ConsoleWindow, ThePollCounterLooksAsTheStyleDrawsIt) {
    // The counter's panel is copied from one taken once; the field must look as the
    // application style and the box behind it paint it, with focus and without.
    ConsoleHarness h;
    h.form->show();
    QLineEdit& field = *h.form->Edit4;
    const auto painted = [&] {
        QApplication::processEvents();
        return h.form->grab(QRect(field.mapTo(h.form.get(), QPoint()), field.size()))
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    for (int step = 0; step < 3; ++step) {
        field.setText(QString::number(1234 + step));
        if (step == 1) {
            field.setFocus();
        }
        const QImage snapshot = painted();
        field.setStyle(QApplication::style());
        field.setAttribute(Qt::WA_OpaquePaintEvent, false);
        EXPECT_EQ(snapshot, painted()) << "step " << step;
        QApplication::processEvents();
        PanelSnapshotStyle::Install(field);
    }
}

TEST(ConsoleWindow, TheCounterDrawsItsDigitsWhereTheLineEditWould) {
    ConsoleHarness h;
    h.form->show();
    QLineEdit& counter = *h.form->Edit4;
    // The counter lays its text out unshaped but in the face and size it is given: the same
    // pixels as a line edit that shapes it.
    const QFont given = counter.parentWidget()->font();
    EXPECT_EQ(counter.font().families(), given.families());
    EXPECT_EQ(counter.font().pointSizeF(), given.pointSizeF());
    QLineEdit plain;
    plain.setFont(given);
    plain.setPalette(counter.palette());
    plain.setReadOnly(true);
    plain.resize(counter.size());
    // Short and long counts, one too long for the field, and texts the field leaves to the
    // line edit.
    for (const QString text : {"0", "7", "42", "1234", "65535", "4294967295", "123456789012345",
                               "12a", "-5", " 12"}) {
        counter.setText(text);
        plain.setText(text);
        EXPECT_EQ(counter.grab().toImage().convertToFormat(QImage::Format_RGB32),
                  plain.grab().toImage().convertToFormat(QImage::Format_RGB32))
            << text.toStdString();
    }
}
