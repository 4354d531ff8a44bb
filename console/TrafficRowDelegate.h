#pragma once

#include <QStyledItemDelegate>

// Draws the traffic monitor's cells (in a view without word wrap). While following, each update of
// the table is a whole new page, and the style lays out every cell's text anew; here a cell that is
// neither selected nor focused is drawn from cached glyphs and layouts at the place the style would
// put it, cut with "…" as the style cuts it when it does not fit. Other cells, and texts that do
// not fit and are not drawn from single glyphs, are left to the style.
class TrafficRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
