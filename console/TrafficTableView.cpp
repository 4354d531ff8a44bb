#include "TrafficTableView.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

TrafficTableView::TrafficTableView(QWidget* parent) : QTableView(parent) {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    fillGrid_ = style()->styleHint(QStyle::SH_Table_AlwaysDrawLeftTopGridLines, &option, this) == 0;
    if (fillGrid_) {
        // The view then draws its lines with no pen: it still leaves their pixels free.
        setGridStyle(Qt::NoPen);
    }
}

void TrafficTableView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (fillGrid_ && showGrid() && model() != nullptr) {
        FillGrid(event->region());
    }
}

void TrafficTableView::FillGrid(const QRegion& region) {
    const QHeaderView* rows = verticalHeader();
    const QHeaderView* columns = horizontalHeader();
    if (rows->count() == 0 || columns->count() == 0) {
        return;
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor colour = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const int lastX = columns->length() - columns->offset() - 1;
    const int lastY = rows->length() - rows->offset() - 1;
    QPainter painter(viewport());
    // Per rectangle of the region, as the view draws them: a line under every row it
    // touches, across the rectangle, and one right of every column it touches, down it.
    for (QRect area : region) {
        area.setBottom(std::min(area.bottom(), lastY));
        area.setRight(std::min(area.right(), lastX));
        const int top = rows->visualIndexAt(area.top());
        int bottom = rows->visualIndexAt(area.bottom());
        bottom = bottom == -1 ? rows->count() - 1 : bottom;
        if (!area.isValid() || top == -1 || top > bottom) {
            continue;
        }
        int left = columns->visualIndexAt(area.left());
        left = left == -1 ? 0 : left;
        int right = columns->visualIndexAt(area.right());
        right = right == -1 ? columns->count() - 1 : right;
        for (int visual = top; visual <= bottom; ++visual) {
            const int row = rows->logicalIndex(visual);
            if (!rows->isSectionHidden(row)) {
                painter.fillRect(area.left(), rowViewportPosition(row) + rowHeight(row) - 1,
                                 area.width(), 1, colour);
            }
        }
        for (int visual = left; visual <= right; ++visual) {
            const int column = columns->logicalIndex(visual);
            if (!columns->isSectionHidden(column)) {
                painter.fillRect(columnViewportPosition(column) + columnWidth(column) - 1,
                                 area.top(), 1, area.height(), colour);
            }
        }
    }
}
