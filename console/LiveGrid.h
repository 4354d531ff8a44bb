#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

#include "RegisterMap.h"
#include "RegisterNumbers.h"

class DrawGrid;
class QFont;
class QPainter;
class QRect;

// The live channel grid: channels AD0 to AD5 in columns 1 to 6; rows 1 to 4 show the
// acquired value, the temperature or weight, the set temperature and the output, all
// computed from the register image whenever a cell is drawn.
namespace LiveGrid {

inline constexpr int kColCount = 7;
inline constexpr int kRowCount = 5;
inline constexpr int kHeaderColWidth = 156;
inline constexpr int kColWidth = 131;
inline constexpr int kRowHeight = 33;
// The rows and the registers they show for each channel.
inline constexpr int kAcquiredRow = 1;        // pairs from Reg::kAcquiredLowFirst
inline constexpr int kMeasuredRow = 2;        // from Reg::kMeasuredFirst
inline constexpr int kSetTemperatureRow = 3;  // from Reg::kSetPointFirst
inline constexpr int kOutputRow = 4;          // Reg::kOutputBits and Reg::kOutputPercentFirst
inline constexpr int kFirstSetPointRegister = Reg::kSetPointFirst;
inline constexpr int kLastSetPointRegister = Reg::kSetPointLast;

// One data cell: its text and colour, and for the output row the percentage drawn beside.
struct Cell {
    QString text;
    QColor color;
    bool gridColor = false;  // drawn in the grid's own text colour for the cell's state
    QString percent;
};

// The data cell in column col (1 to 6) and row (1 to 4).
Cell CellAt(const RegisterImageWords& image, int col, int row);
// The cell's text as the eye reads it: the text, then the percentage after a space.
QString CellText(const RegisterImageWords& image, int col, int row);
// What the cell's text follows from: the words CellAt reads for it (DrawGrid::SetDataKey).
std::uint64_t CellKey(const RegisterImageWords& image, int col, int row);
// The register number belonging to a cell: col + 10 * row - 1.
std::int32_t CellRegister(int col, int row);
bool IsSetPointRegister(std::int32_t reg);

// Header texts, column 0 width and cell sizes of the grid.
void SetUp(DrawGrid& grid);
// How many pixels from a data cell's left edge it is drawn alike with the text before and
// the text after (DrawGrid::SetUnchangedWidth).
int UnchangedWidth(int col, int row, const QFont& font, const QString& before,
                   const QString& after);
// Draws a data cell: its text 2 pixels in from the top-left corner, and for the output row
// the percentage in a 16-point font 50 pixels right of and 5 pixels below the corner.
void DrawCell(const RegisterImageWords& image, QPainter& painter, int col, int row,
              const QRect& rect);

}  // namespace LiveGrid
