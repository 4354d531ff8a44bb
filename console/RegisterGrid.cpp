#include "RegisterGrid.h"

#include <QCoreApplication>
#include <QPainter>

#include "AppStyle.h"
#include "CachedText.h"
#include "DrawGrid.h"
#include "RegisterMap.h"

namespace RegisterGrid {

namespace {

constexpr int kRegistersPerRow = 6;
constexpr int kFontPixels = 14;
const QColor kFixedColor(244, 243, 234);
// Where in a cell its value is drawn.
constexpr int kTextLeft = 2;
constexpr int kTextTop = 2;

QFont CellFont(QFont font, int row) {
    font.setBold(row <= kBoldRows);
    return font;
}

}  // namespace

std::int32_t CellRegister(int col, int row) {
    return kRegistersPerRow * (row - 1) + (col - 1);
}

QString ValueText(const RegisterImageWords& image, std::int32_t reg) {
    return QString::number(RegisterDisplayValue(image, reg));
}

QString CellText(const RegisterImageWords& image, int col, int row) {
    return ValueText(image, CellRegister(col, row));
}

std::uint64_t CellKey(const RegisterImageWords& image, int col, int row) {
    return static_cast<std::uint16_t>(RegisterDisplayValue(image, CellRegister(col, row)));
}

bool IsWritable(std::int32_t reg) {
    return reg >= kFirstWritableRegister && reg <= kLastWritableRegister;
}

QString SelectionCaption(std::int32_t reg) {
    const QString name = reg >= 0 && reg < kRegisterNameCount
                             ? QCoreApplication::translate("RegisterMap", RegisterNames[reg])
                             : QString();
    return QCoreApplication::translate("RegisterGrid", "全部寄存器监控  4x00%1 : %2")
        .arg(reg)
        .arg(name);
}

void SetUp(DrawGrid& grid) {
    grid.setFont(SongFont(kFontPixels));
    grid.SetFixedColor(kFixedColor);
    grid.SetDefaultColWidth(kColWidth);
    grid.SetDefaultRowHeight(kRowHeight);
    grid.SetColWidth(0, kHeaderColWidth);
    grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid.setToolTip(QCoreApplication::translate(
        "RegisterGrid", "30~83 可双击修改数据\n70~83 设置，必须点击“标定到模块”才保存"));
    grid.SetCell(0, 0, QCoreApplication::translate("RegisterGrid", "元件编号"));
    for (int col = 1; col < kColCount; ++col) {
        grid.SetCell(col, 0, QStringLiteral(" +") + QString::number(col - 1));
    }
    for (int row = 1; row < kRowCount; ++row) {
        const QString prefix = row <= 2 ? QStringLiteral(" 4x000") : QStringLiteral(" 4x00");
        grid.SetCell(0, row, prefix + QString::number(kRegistersPerRow * (row - 1)));
    }
}

int UnchangedWidth(int, int row, const QFont& font, const QString& before, const QString& after) {
    return kTextLeft + CachedText::SameLeadingWidth(CellFont(font, row), before, after);
}

void DrawCell(const RegisterImageWords& image, QPainter& painter, int col, int row,
              const QRect& rect) {
    painter.setFont(CellFont(painter.font(), row));
    CachedText::DrawTopLeft(painter, rect.adjusted(kTextLeft, kTextTop, 0, 0),
                            CellText(image, col, row));
}

}  // namespace RegisterGrid
