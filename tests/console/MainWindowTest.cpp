#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>

#include "AppStyle.h"
#include "BannerGroupBox.h"
#include "ConsoleHarness.h"
#include "DrawGrid.h"
#include "QtChinese.h"
#include "RegisterMap.h"
#include "StatusLine.h"
#include "TShape.h"

namespace {

QStringList Items(const QComboBox& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.itemText(i);
    }
    return items;
}

}  // namespace

TEST(MainWindow, HasItsCaptionFixedClientSizeAndFont) {
    ConsoleHarness h;
    EXPECT_EQ(h.form->windowTitle(), "VR7C-20NP 测试程序 V1.50");
    EXPECT_EQ(h.form->size(), QSize(958, 466));
    EXPECT_EQ(h.form->minimumSize(), h.form->maximumSize());
    EXPECT_FALSE(h.form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(h.form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(h.form->font().pixelSize(), 16);
}

TEST(MainWindow, PlacesTheGroupsAndTheConnectionControls) {
    ConsoleHarness h;
    TMainForm& f = *h.form;
    EXPECT_EQ(f.GroupBox1->geometry(), QRect(3, 183, 172, 256));
    EXPECT_EQ(f.GroupBox2->geometry(), QRect(189, 183, 320, 256));
    EXPECT_EQ(f.GroupBox3->geometry(), QRect(524, 183, 431, 256));
    EXPECT_EQ(f.StringGrid2->geometry(), QRect(5, 29, 423, 221));
    EXPECT_EQ(f.ComboBox1->geometry().topLeft(), QPoint(73, 36));
    EXPECT_EQ(f.ComboBox6->width(), 85);
    EXPECT_EQ(f.Shape1->geometry(), QRect(145, 34, 20, 20));
    EXPECT_EQ(f.SpeedButton1->geometry(), QRect(9, 171, 150, 44));
    EXPECT_EQ(f.BitBtn3->geometry(), QRect(9, 217, 150, 36));
    EXPECT_EQ(f.TimerStr->pos(), QPoint(8, 446));
    EXPECT_EQ(f.MyMailto->geometry().topLeft(), QPoint(800, 447));
    EXPECT_GE(f.MyMailto->width(), 144);
    EXPECT_LE(f.MyMailto->geometry().right(), 958);
    EXPECT_EQ(f.MyMailto->cursor().shape(), Qt::PointingHandCursor);
}

TEST(MainWindow, FillsTheListsWithTheirItemsAndDefaults) {
    ConsoleHarness h;
    TMainForm& f = *h.form;
    EXPECT_EQ(Items(*f.ComboBox1),
              QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}));
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(Items(*f.EX_Baud), QStringList({"9600", "19200", "38400", "57600"}));
    EXPECT_EQ(f.EX_Baud->currentText(), "57600");
    EXPECT_EQ(f.EX_Addr->count(), 17);
    EXPECT_EQ(f.EX_Addr->itemText(16), "16");
    EXPECT_EQ(f.EX_Addr->currentIndex(), 1);
    EXPECT_EQ(Items(*f.ComboBox6), QStringList({"PC-UART", "PLC-CAN"}));
    EXPECT_EQ(f.Edit4->text(), "0");
    EXPECT_TRUE(f.Edit4->isReadOnly());
    EXPECT_EQ(f.Label5->text(), "1");
    EXPECT_EQ(f.Shape1->BrushColor(), QColor(132, 187, 255));
    EXPECT_FALSE(f.BitBtn5->isEnabled());
    EXPECT_FALSE(f.Timer1.isActive());
    EXPECT_TRUE(f.TimerSec.isActive());
    EXPECT_EQ(f.TimerSec.interval(), 100);
}

TEST(MainWindow, ClearsTheRegisterImageWhenCreated) {
    ConsoleHarness h;
    EXPECT_EQ(h.form->RegisterImage, RegisterImageWords{});
}

TEST(MainWindow, EveryControlCarriesItsName) {
    ConsoleHarness h;
    for (const char* name :
         {"StringGrid1", "GroupBox1",   "GroupBox2", "GroupBox3", "Label1",       "ComboBox1",
          "Shape1",      "Label5",      "Label2",    "EX_Baud",   "Label8",       "EX_Addr",
          "Label6",      "Edit4",       "Label20",   "ComboBox6", "SpeedButton1", "BitBtn3",
          "BitBtn5",     "StringGrid2", "TimerStr",  "MyMailto"}) {
        EXPECT_NE(h.form->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    }
}

TEST(MainWindow, TheHintColourIsBrightGreen) {
    SetApplicationHintColour();
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(11, 255, 11));
}

TEST(MainWindow, TheClockTickShowsDateTwoSpacesAndTimeWithSeconds) {
    ConsoleHarness h;
    h.form->TimerSecTimer();
    EXPECT_TRUE(h.form->TimerStr->text().contains(QStringLiteral("  ")));
    EXPECT_NE(h.form->TimerStr->text(), "12:00");
}

TEST(MainWindow, TheMailLinkOpensTheContactAddressWithSubjectAndBody) {
    ConsoleHarness h;
    h.form->MyMailtoClick();
    ASSERT_EQ(h.openedUrls.size(), 1u);
    const QUrl& url = h.openedUrls[0];
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), h.form->MyMailto->text());
    EXPECT_TRUE(
        url.query(QUrl::FullyDecoded).contains(QStringLiteral("subject=欢迎使用 VR7C_20NP")));
}

TEST(MainWindow, OnlyTheLeftButtonSelectsACellDoubleClicksOrOpensTheMailLink) {
    ConsoleHarness h;
    h.ConnectWithReply({});
    h.form->show();
    DrawGrid& grid = *h.form->StringGrid2;
    for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
        const bool left = button == Qt::LeftButton;
        QTest::mouseDClick(grid.viewport(), button, {},
                           grid.visualRect(grid.model()->index(7, 5)).center());
        QTest::mouseClick(h.form->MyMailto, button);
        EXPECT_EQ(h.form->SelectedRegister, left ? 40 : 0);
        EXPECT_EQ(h.prompter.modals.size(), left ? 1u : 0u);
        EXPECT_EQ(h.openedUrls.size(), left ? 1u : 0u);
    }
}

TEST(QtTexts, MenusAndMessageBoxesSpeakChineseAndBoxesUseTheWindowFont) {
    const std::unique_ptr<QTranslator> chinese = LoadQtChinese();
    ASSERT_NE(chinese, nullptr);
    QCoreApplication::installTranslator(chinese.get());
    QLineEdit field;
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    const auto box = MakeMessageBox(nullptr, MessageIcon::Information, "VR7C-20NP", "标定完毕 ！");
    QCoreApplication::removeTranslator(chinese.get());
    EXPECT_TRUE(menu->actions().back()->text().startsWith("全选"));
    EXPECT_EQ(box->button(QMessageBox::Ok)->text(), "确定");
    const QFontInfo text(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->font());
    EXPECT_EQ(text.family(), QFontInfo(WindowFont()).family());
    EXPECT_EQ(text.pixelSize(), 16);
}

TEST(StatusLine, ClockTextKeepsSecondsAndTwoSpacesInEveryLocale) {
    const QDateTime now(QDate(2024, 3, 5), QTime(14, 7, 9));
    for (const char* name : {"en_US", "zh_CN", "de_DE", "C"}) {
        const QLocale locale{QLatin1String(name)};
        const QString text = ClockText(now, locale);
        EXPECT_EQ(text.count(QStringLiteral("  ")), 1) << name << ": " << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("07:09")) || text.contains(QStringLiteral("7:09")))
            << name << ": " << text.toStdString();
        EXPECT_TRUE(text.startsWith(locale.toString(now.date(), QLocale::ShortFormat)));
    }
}

TEST(StatusLine, MailtoLinkCarriesTheFixedSubjectAndBody) {
    EXPECT_EQ(MailtoLink(QStringLiteral("a@b.c")),
              "mailto:a@b.c?&cc=&bcc=&subject=欢迎使用 VR7C_20NP&body=使用报告:%0d");
}
