#include <gtest/gtest.h>

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include "AppStyle.h"
#include "TrafficRowDelegate.h"
#include "TrafficTableView.h"

// The monitor's cells drawn the quick way must look as the style draws them: texts that fit,
// with and without a colour of their own, and ones so long that they are elided, also where
// only their start is plain ASCII (a long frame's bytes end with " …"); in a selected row too.
TEST(TrafficRowDelegate, DrawsEveryCellAsTheStyleDoes) {
    constexpr int kRows = 7;
    QStandardItemModel model(kRows, 1);
    const QString texts[] = {
        QStringLiteral("12:34:56.789"),
        QStringLiteral("读保持寄存器 0..99"),
        QStringLiteral("01 03 C8 00 00 64 44 21"),
        QStringLiteral("01 03 C8 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE"),
        QStringLiteral("应答正常 ") + QString(60, QLatin1Char('9')),
        QStringLiteral("01 03 C8 00 11 22 33 44 55 66 77 88 99 AA BB CC …"),
        QStringLiteral("01 03 C8 读保持寄存器 0..99 读保持寄存器 0..99 读保持寄存器")};
    for (int row = 0; row < kRows; ++row) {
        model.setItem(row, 0, new QStandardItem(texts[row]));
    }
    model.item(2)->setForeground(QColor(210, 0, 0));
    const auto picture = [&](QAbstractItemDelegate* delegate, int selected) {
        QTableView view;
        view.setModel(&model);
        view.setFont(SongFont(14));
        view.setWordWrap(false);
        view.verticalHeader()->hide();
        view.horizontalHeader()->resizeSection(0, 200);
        view.setItemDelegate(delegate);
        view.resize(260, 230);
        if (selected >= 0) {
            view.selectionModel()->select(model.index(selected, 0), QItemSelectionModel::Select);
        }
        return view.viewport()->grab().toImage();
    };
    for (int selected = -1; selected < kRows; ++selected) {
        EXPECT_EQ(picture(new QStyledItemDelegate(&model), selected),
                  picture(new TrafficRowDelegate(&model), selected))
            << "selected row " << selected;
    }
}

// The monitor's table fills its grid lines itself: the same pixels as the view's own lines,
// for a whole page, for parts of it (as repainted after a scroll), with rows short of the
// bottom, and scrolled to the end.
TEST(TrafficTableView, DrawsTheGridAsTheViewDoes) {
    const auto picture = [](QTableView& view, int rows, const QRegion& region) {
        QStandardItemModel model(rows, 3);
        for (int row = 0; row < rows; ++row) {
            model.setItem(row, 1, new QStandardItem(QStringLiteral("01 03 %1").arg(row)));
        }
        view.setModel(&model);
        view.verticalHeader()->hide();
        view.verticalHeader()->setDefaultSectionSize(20);
        view.horizontalHeader()->setStretchLastSection(true);
        view.resize(300, 230);
        view.selectRow(1);
        view.scrollToBottom();
        QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        view.viewport()->render(&image, {}, region);
        return image;
    };
    const QRegion regions[] = {QRect(0, 0, 300, 230), QRect(0, 170, 300, 40),
                               QRegion(QRect(5, 7, 120, 33)) + QRect(150, 60, 90, 91)};
    for (const int rows : {4, 40}) {
        for (const QRegion& region : regions) {
            QTableView plain;
            TrafficTableView filled;
            EXPECT_EQ(picture(plain, rows, region), picture(filled, rows, region))
                << rows << " rows, region " << region.boundingRect().y();
        }
    }
}
