#include "DrawGrid.h"

#include <QAccessible>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVarLengthArray>

#include <algorithm>

#include "CachedText.h"

class DrawGrid::Model final : public QAbstractTableModel {
public:
    Model(int colCount, int rowCount, QObject* parent)
        : QAbstractTableModel(parent),
          cols_(colCount),
          rows_(rowCount),
          cells_(static_cast<std::size_t>(colCount * rowCount)),
          announced_(cells_.size()),
          keys_(cells_.size()) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows_;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : cols_;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) {
            return {};
        }
        return Text(index.column(), index.row());
    }

    // Header cells can be neither selected nor made current, as in a grid's fixed cells.
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid() || IsFixed(index.column(), index.row())) {
            return Qt::NoItemFlags;
        }
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    QString Text(int col, int row) const {
        if (IsFixed(col, row) || !dataText) {
            return Stored(col, row);
        }
        return dataText(col, row);
    }

    QString Stored(int col, int row) const { return cells_[Slot(col, row)]; }

    void Store(int col, int row, const QString& text) {
        cells_[Slot(col, row)] = text;
        const QModelIndex changed = index(row, col);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }

    // Hands changedCell each data cell whose text differs from the one last announced, with
    // the text it had and the one it has now. A
    // cell's drawing follows from its text, so the view paints only those cells again; the
    // caller asks for that. Assistive technology, when running, hears of each change through
    // the model (the view passes it on); otherwise the signal is left out, since the view's
    // handling of it cost as much as working out all the texts.
    template <typename ChangedCell>
    void RefreshData(ChangedCell&& changedCell) {
        const bool announce = QAccessible::isActive();
        for (int row = 1; row < rows_; ++row) {
            for (int col = 1; col < cols_; ++col) {
                if (dataKey) {
                    std::optional<std::uint64_t>& known = keys_[Slot(col, row)];
                    const std::uint64_t key = dataKey(col, row);
                    if (known == key) {
                        continue;
                    }
                    known = key;
                }
                QString text = Text(col, row);
                QString& announced = announced_[Slot(col, row)];
                if (text != announced) {
                    std::swap(announced, text);
                    const QModelIndex changed = index(row, col);
                    if (announce) {
                        emit dataChanged(changed, changed, displayRole_);
                    }
                    changedCell(changed, text, announced);
                }
            }
        }
    }

    // The texts are made again at the next refresh, whatever the keys say.
    void ForgetKeys() { std::fill(keys_.begin(), keys_.end(), std::nullopt); }

    DataTextFunction dataText;
    DataKeyFunction dataKey;
    DrawCellFunction drawCell;
    UnchangedWidthFunction unchangedWidth;
    QColor fixedColor;
    QColor gridColor;
    // The colour the viewport fills the cells with before they are drawn; none when it fills
    // them with anything but one solid colour.
    QColor baseColor;
    // What the paint being made covers; empty outside a paint event.
    QRegion paintRegion;

    std::size_t Slot(int col, int row) const { return static_cast<std::size_t>(row * cols_ + col); }

private:
    // Kept, so that a refresh after every good poll allocates no role list.
    const QList<int> displayRole_{Qt::DisplayRole};
    int cols_;
    int rows_;
    std::vector<QString> cells_;
    // The data texts and keys of the last refresh.
    std::vector<QString> announced_;
    std::vector<std::optional<std::uint64_t>> keys_;
};

class DrawGrid::Delegate final : public QStyledItemDelegate {
public:
    Delegate(Model& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        PaintCell(*painter, option, index);
        painter->restore();
        PaintGridLines(*painter, option.rect);
    }

    // Paints the cell, its grid lines left out. It sets the painter's font and pen it paints
    // with and changes nothing else of the painter's state, but leaves both as they end.
    void PaintCell(QPainter& painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const {
        const int col = index.column();
        const int row = index.row();
        const QRect rect = option.rect;
        // Header cells are not selectable and so come with the disabled state; they are drawn
        // in the normal colours all the same.
        QPalette palette = option.palette;
        palette.setCurrentColorGroup(QPalette::Active);
        painter.setFont(option.font);
        if (IsFixed(col, row)) {
            PaintFixedCell(painter, rect, palette, model_.Stored(col, row));
        } else {
            const bool selected = option.state.testFlag(QStyle::State_Selected);
            // The viewport has just filled the cell with the base colour.
            QColor background = model_.baseColor;
            if (selected) {
                background = palette.color(QPalette::Highlight);
                painter.fillRect(rect, background);
            }
            painter.setPen(selected ? palette.color(QPalette::HighlightedText)
                                    : palette.color(QPalette::Text));
            if (model_.drawCell) {
                const CachedText::PlainCell plain(background);
                model_.drawCell(painter, col, row, rect, selected);
            }
            if (option.state.testFlag(QStyle::State_HasFocus)) {
                painter.setPen(QPen(palette.color(QPalette::HighlightedText), 1, Qt::DotLine));
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
            }
        }
    }

    // The grid lines right of and below the cell, as the table view draws them. A refresh
    // repaints only the changed cells' insides, which leave the lines out: filling a line
    // wholly clipped away cost as much as drawing the cell's text.
    void PaintGridLines(QPainter& painter, const QRect& rect) const {
        const QColor& color = model_.gridColor;
        const QRect right(rect.right() + 1, rect.top(), 1, rect.height() + 1);
        const QRect below(rect.left(), rect.bottom() + 1, rect.width() + 1, 1);
        for (const QRect& line : {right, below}) {
            if (model_.paintRegion.isEmpty() || model_.paintRegion.intersects(line)) {
                painter.fillRect(line, color);
            }
        }
    }

private:
    void PaintFixedCell(QPainter& painter, const QRect& rect, const QPalette& palette,
                        const QString& text) const {
        painter.fillRect(rect, model_.fixedColor.isValid() ? model_.fixedColor
                                                           : palette.color(QPalette::Midlight));
        // Raised edges: light above and left, shadow below and right.
        painter.setPen(palette.color(QPalette::Light));
        painter.drawLine(rect.topLeft(), rect.topRight());
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
        painter.setPen(palette.color(QPalette::Mid));
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
        painter.drawLine(rect.topRight(), rect.bottomRight());
        painter.setPen(palette.color(QPalette::WindowText));
        CachedText::DrawTopLeft(painter, rect.adjusted(2, 2, 0, 0), text);
    }

    Model& model_;
};

DrawGrid::DrawGrid(int colCount, int rowCount, QWidget* parent)
    : QTableView(parent),
      model_(new Model(colCount, rowCount, this)),
      delegate_(new Delegate(*model_, this)),
      refreshed_(static_cast<std::size_t>(colCount * rowCount)) {
    setModel(model_);
    // The cells keep their one-pixel grid lines, but the delegate draws them with each cell:
    // the view would draw every line of every row and column a repaint touches, all of them
    // outside the changed cells, and that was a good part of the cost of a refresh.
    setGridStyle(Qt::NoPen);
    // Data cells are drawn over the base colour the viewport fills them with.
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setItemDelegate(delegate_);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && !IsFixed(current.column(), current.row())) {
                    emit CellSelected(current.column(), current.row());
                }
            });
}

int DrawGrid::ColCount() const {
    return model_->columnCount();
}

int DrawGrid::RowCount() const {
    return model_->rowCount();
}

void DrawGrid::SetCell(int col, int row, const QString& text) {
    model_->Store(col, row, text);
}

QString DrawGrid::Cell(int col, int row) const {
    return model_->Stored(col, row);
}

void DrawGrid::SetDefaultColWidth(int width) {
    for (int col = 0; col < ColCount(); ++col) {
        SetColWidth(col, width);
    }
}

void DrawGrid::SetColWidth(int col, int width) {
    horizontalHeader()->resizeSection(col, width + 1);
}

void DrawGrid::SetDefaultRowHeight(int height) {
    verticalHeader()->setDefaultSectionSize(height + 1);
}

void DrawGrid::SetFixedColor(const QColor& color) {
    model_->fixedColor = color;
    viewport()->update();
}

void DrawGrid::SetDataText(DataTextFunction function) {
    model_->dataText = std::move(function);
    model_->ForgetKeys();
}

void DrawGrid::SetDataKey(DataKeyFunction function) {
    model_->dataKey = std::move(function);
    model_->ForgetKeys();
}

void DrawGrid::SetDrawCell(DrawCellFunction function) {
    model_->drawCell = std::move(function);
}

void DrawGrid::SetUnchangedWidth(UnchangedWidthFunction function) {
    model_->unchangedWidth = std::move(function);
}

void DrawGrid::SetCurrentCell(int col, int row) {
    selectionModel()->setCurrentIndex(model_->index(row, col), QItemSelectionModel::ClearAndSelect);
}

int DrawGrid::Col() const {
    return currentIndex().column();
}

int DrawGrid::Row() const {
    return currentIndex().row();
}

QString DrawGrid::DisplayText(int col, int row) const {
    return model_->Text(col, row);
}

void DrawGrid::paintEvent(QPaintEvent* event) {
    // The view's item option: for the colour it gives its grid lines, and for the refreshed
    // cells.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    model_->gridColor = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const QBrush& base = viewport()->palette().brush(viewport()->backgroundRole());
    model_->baseColor = base.style() == Qt::SolidPattern ? base.color() : QColor();
    model_->paintRegion = event->region();
    if (!PaintRefreshedCells(event->region(), option)) {
        QTableView::paintEvent(event);
    }
    refreshed_.assign(refreshed_.size(), false);
    model_->paintRegion = QRegion();
}

bool DrawGrid::PaintRefreshedCells(const QRegion& region, QStyleOptionViewItem& cell) {
    struct Refreshed {
        QModelIndex index;
        QRect rect;
    };
    QVarLengthArray<Refreshed, 64> refreshed;
    QRegion cells;
    for (int row = 1; row < RowCount(); ++row) {
        for (int col = 1; col < ColCount(); ++col) {
            if (refreshed_[model_->Slot(col, row)]) {
                const QModelIndex index = model_->index(row, col);
                refreshed.append({index, visualRect(index)});
                cells += refreshed.back().rect;
            }
        }
    }
    if (refreshed.isEmpty() || !(region - cells).isEmpty()) {
        return false;
    }
    // What the table view's paint does for each cell it reaches, without its walk over rows,
    // columns and headers, which cost as much as the cells' texts. The style's row panel
    // under a cell is left out: the grid has no alternating rows and fills a selected cell
    // with the highlight itself, so that panel is never seen.
    QPainter painter(viewport());
    const QStyle::State state = cell.state;
    if (state.testFlag(QStyle::State_Enabled)) {
        cell.palette.setCurrentColorGroup(QPalette::Normal);  // data cells are enabled
    }
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    for (const auto& [index, rect] : refreshed) {
        if (!region.intersects(rect)) {
            continue;
        }
        cell.rect = rect;
        cell.state = state;
        if (selectionModel()->isSelected(index)) {
            cell.state |= QStyle::State_Selected;
        }
        if (focus && index == current) {
            cell.state |= QStyle::State_HasFocus;
        }
        // The grid's own cells change only the painter's font and pen, which each sets
        // itself: the painter's whole state need not be kept around each of them.
        QAbstractItemDelegate* delegate = itemDelegateForIndex(index);
        if (delegate == delegate_) {
            delegate_->PaintCell(painter, cell, index);
            delegate_->PaintGridLines(painter, rect);
        } else {
            delegate->paint(&painter, cell, index);
        }
    }
    return true;
}

void DrawGrid::UpdateData() {
    QRegion changed;
    model_->RefreshData([&](const QModelIndex& cell, const QString& before, const QString& after) {
        QRect rect = visualRect(cell);
        if (model_->unchangedWidth) {
            rect.setLeft(rect.left() +
                         model_->unchangedWidth(cell.column(), cell.row(), font(), before, after));
        }
        changed += rect;
        refreshed_[model_->Slot(cell.column(), cell.row())] = true;
    });
    viewport()->update(changed);
}

// Only the left button selects a cell or double-clicks; the other buttons do nothing here.
void DrawGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QTableView::mousePressEvent(event);
    }
}

void DrawGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QTableView::mouseReleaseEvent(event);
    }
}

void DrawGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
    emit DblClick();
}
