#pragma once

#include <QString>

#include <cstdint>

#include "RegisterMap.h"
#include "RegisterNumbers.h"

class DrawGrid;
class QFont;
class QPainter;
class QRect;

// The register monitor grid: registers 0 to 83, six to a row, each drawn as a decimal
// number from the register image whenever its cell is painted.
namespace RegisterGrid {

inline constexpr int kColCount = 7;
inline constexpr int kRowCount = 15;
inline constexpr int kColWidth = 56;
inline constexpr int kHeaderColWidth = 60;
inline constexpr int kRowHeight = 19;
inline constexpr int kBoldRows = 5;
inline constexpr std::int32_t kFirstWritableRegister = Reg::kWritableFirst;
inline constexpr std::int32_t kLastWritableRegister = Reg::kWritableLast;

// The register shown in column col (1 to 6) and row (1 to 14): 6 * (row - 1) + col - 1.
std::int32_t CellRegister(int col, int row);
// The decimal text of a register: signed 16-bit for 76 to 81, unsigned otherwise.
QString ValueText(const RegisterImageWords& image, std::int32_t reg);
QString CellText(const RegisterImageWords& image, int col, int row);
// What the cell's text follows from: its register's word (DrawGrid::SetDataKey).
std::uint64_t CellKey(const RegisterImageWords& image, int col, int row);
bool IsWritable(std::int32_t reg);
// The holder's caption for a selected register: number and name.
QString SelectionCaption(std::int32_t reg);

// Sizes, colours, font, scroll bars, hint and header texts of the grid.
void SetUp(DrawGrid& grid);
// How many pixels from a data cell's left edge it is drawn alike with the text before and
// the text after (DrawGrid::SetUnchangedWidth).
int UnchangedWidth(int col, int row, const QFont& font, const QString& before,
                   const QString& after);
// Draws a data cell 2 pixels in from its top-left corner, bold in rows 1 to 5.
void DrawCell(const RegisterImageWords& image, QPainter& painter, int col, int row,
              const QRect& rect);

}  // namespace RegisterGrid
