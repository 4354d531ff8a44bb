#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QPainter;
class QStyleOptionViewItem;

// A string grid in the manner of a classic owner-drawn grid: one fixed header row and one
// fixed header column that show stored texts, data cells that the owner draws on every
// paint, one current cell, and a double-click event for the whole grid. Cell widths and
// heights exclude the one-pixel grid line, which is drawn right of and below each cell.
class DrawGrid : public QTableView {
    Q_OBJECT

public:
    using DataTextFunction = std::function<QString(int col, int row)>;
    using DataKeyFunction = std::function<std::uint64_t(int col, int row)>;
    using DrawCellFunction =
        std::function<void(QPainter& painter, int col, int row, const QRect& rect, bool selected)>;
    using UnchangedWidthFunction = std::function<int(int col, int row, const QFont& font,
                                                     const QString& before, const QString& after)>;

    DrawGrid(int colCount, int rowCount, QWidget* parent = nullptr);

    int ColCount() const;
    int RowCount() const;
    static bool IsFixed(int col, int row) { return col == 0 || row == 0; }

    // Stored text of a cell; only the fixed cells show it.
    void SetCell(int col, int row, const QString& text);
    QString Cell(int col, int row) const;

    void SetDefaultColWidth(int width);
    void SetColWidth(int col, int width);
    void SetDefaultRowHeight(int height);
    void SetFixedColor(const QColor& color);

    // The text of a data cell as the eye reads it; the grid hands it to the accessibility
    // interface as the cell's display data. What the owner draws in a cell must follow from
    // this text, since a refresh paints again only the cells whose text has changed.
    void SetDataText(DataTextFunction function);
    // A number made from everything a data cell's text follows from, much cheaper to get than
    // the text: a refresh makes the texts of only those cells whose number has changed.
    // Without it, every data cell's text is made and compared at each refresh.
    void SetDataKey(DataKeyFunction function);
    // Draws a data cell over its painted background, with the grid font and the text colour
    // of the cell's state already set on the painter.
    void SetDrawCell(DrawCellFunction function);

    // How many pixels from a cell's left edge are drawn alike for both texts, so that a
    // refresh repaints only the rest of the cell; without it, changed cells are repainted
    // whole.
    void SetUnchangedWidth(UnchangedWidthFunction function);

    // Makes a data cell current, which raises CellSelected.
    void SetCurrentCell(int col, int row);
    int Col() const;
    int Row() const;

    // Texts shown in the cell: the stored text of a fixed cell, the data text otherwise.
    QString DisplayText(int col, int row) const;

    // Marks for repainting every data cell whose text has changed since the last refresh; the
    // window's next paint draws them anew from their source.
    void UpdateData();

signals:
    void CellSelected(int col, int row);
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    class Model;
    class Delegate;

    // Paints the cells refreshed since the last paint when the paint covers nothing else;
    // gives false, having painted nothing, otherwise. The cells are painted with the view's
    // item option, which this changes for each cell.
    bool PaintRefreshedCells(const QRegion& region, QStyleOptionViewItem& cell);

    Model* model_;
    Delegate* delegate_;
    // By cell: marked for repainting by a refresh since the last paint (none comes while the
    // grid is hidden, however many refreshes do).
    std::vector<bool> refreshed_;
};
