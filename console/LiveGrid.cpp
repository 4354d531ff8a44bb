#include "LiveGrid.h"

#include <QCoreApplication>
#include <QPainter>

#include "CachedText.h"
#include "DrawGrid.h"
#include "FormatFixed.h"
#include "RegisterMap.h"

namespace LiveGrid {

namespace {

constexpr int kPercentPointSize = 16;
// Where in a cell the text and the percentage are drawn.
constexpr int kTextLeft = 2;
constexpr int kTextTop = 2;
constexpr int kPercentLeft = 50;
constexpr int kPercentTop = 5;

const QColor kAcquiredColor(0, 128, 128);
const QColor kMeasuredColor(0, 0, 255);
const QColor kOnColor(255, 0, 0);
const QColor kOffColor(0, 128, 0);
const QColor kPercentColor(166, 202, 240);

QFont PercentFont(QFont font) {
    font.setPointSize(kPercentPointSize);
    return font;
}

}  // namespace

Cell CellAt(const RegisterImageWords& image, int col, int row) {
    const auto Word = [&image](int reg) { return image[static_cast<std::size_t>(reg)]; };
    const int channel = col - 1;
    const std::uint16_t mode = Word(Reg::kConversionMode);
    Cell cell;
    switch (row) {
        case kAcquiredRow:
            cell.text =
                FormatFixed(ChannelAcquiredValue(image, channel), mode == Reg::kModePt100 ? 2 : 5);
            cell.color = kAcquiredColor;
            break;
        case kMeasuredRow:
            cell.text = FormatFixed(Word(Reg::kMeasuredFirst + channel),
                                    mode >= Reg::kModeLoadCell ? 3 : 1);
            cell.color = kMeasuredColor;
            break;
        case kSetTemperatureRow:
            cell.text = FormatFixed(Word(kFirstSetPointRegister + channel), 1);
            cell.gridColor = true;
            break;
        default: {
            const bool on = (Word(Reg::kOutputBits) >> channel) & 1U;
            cell.text = on ? QStringLiteral("ON") : QStringLiteral("OFF");
            cell.color = on ? kOnColor : kOffColor;
            cell.percent =
                FormatFixed(Word(Reg::kOutputPercentFirst + channel), 1) + QLatin1Char('%');
            break;
        }
    }
    return cell;
}

std::uint64_t CellKey(const RegisterImageWords& image, int col, int row) {
    const auto Word = [&image](int reg) -> std::uint64_t {
        return image[static_cast<std::size_t>(reg)];
    };
    const int channel = col - 1;
    const std::uint64_t mode = Word(Reg::kConversionMode) << 32;
    switch (row) {
        case kAcquiredRow:
            return mode | static_cast<std::uint32_t>(ChannelAcquiredValue(image, channel));
        case kMeasuredRow:
            return mode | Word(Reg::kMeasuredFirst + channel);
        case kSetTemperatureRow:
            return Word(kFirstSetPointRegister + channel);
        default:
            return ((Word(Reg::kOutputBits) >> channel) & 1U) << 16 |
                   Word(Reg::kOutputPercentFirst + channel);
    }
}

QString CellText(const RegisterImageWords& image, int col, int row) {
    const Cell cell = CellAt(image, col, row);
    return cell.percent.isEmpty() ? cell.text : cell.text + QLatin1Char(' ') + cell.percent;
}

std::int32_t CellRegister(int col, int row) {
    return col + 10 * row - 1;
}

bool IsSetPointRegister(std::int32_t reg) {
    return reg >= kFirstSetPointRegister && reg <= kLastSetPointRegister;
}

void SetUp(DrawGrid& grid) {
    grid.SetCell(0, 0, QCoreApplication::translate("LiveGrid", "AD通道号(+-)"));
    grid.SetCell(0, kAcquiredRow, QCoreApplication::translate("LiveGrid", "采集电压(mV)"));
    grid.SetCell(0, kMeasuredRow, QCoreApplication::translate("LiveGrid", "对应温度(℃)"));
    grid.SetCell(0, kSetTemperatureRow, QCoreApplication::translate("LiveGrid", "设定温度(℃)"));
    grid.SetCell(0, kOutputRow, QCoreApplication::translate("LiveGrid", "控制输出(.%)"));
    for (int col = 1; col < kColCount; ++col) {
        grid.SetCell(col, 0, QStringLiteral(" AD") + QString::number(col - 1));
    }
    grid.SetDefaultColWidth(kColWidth);
    grid.SetColWidth(0, kHeaderColWidth);
    grid.SetDefaultRowHeight(kRowHeight);
}

int UnchangedWidth(int, int row, const QFont& font, const QString& before, const QString& after) {
    if (row != kOutputRow) {
        return kTextLeft + CachedText::SameLeadingWidth(font, before, after);
    }
    // "ON 12.5%": the state in its colour, then the percentage in its own font.
    const qsizetype space = after.indexOf(QLatin1Char(' '));
    if (space < 0 || before.left(space + 1) != after.left(space + 1)) {
        return 0;
    }
    return kPercentLeft + CachedText::SameLeadingWidth(PercentFont(font), before.mid(space + 1),
                                                       after.mid(space + 1));
}

void DrawCell(const RegisterImageWords& image, QPainter& painter, int col, int row,
              const QRect& rect) {
    const Cell cell = CellAt(image, col, row);
    if (!cell.gridColor) {
        painter.setPen(cell.color);
    }
    const QRect textArea = rect.adjusted(kTextLeft, kTextTop, 0, 0);
    CachedText::DrawTopLeft(painter, textArea, cell.text);
    if (cell.percent.isEmpty()) {
        return;
    }
    painter.setFont(PercentFont(painter.font()));
    painter.setPen(kPercentColor);
    CachedText::DrawTopLeft(painter, rect.adjusted(kPercentLeft, kPercentTop, 0, 0), cell.percent);
}

}  // namespace LiveGrid
