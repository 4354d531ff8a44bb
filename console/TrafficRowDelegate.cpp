#include "TrafficRowDelegate.h"

#include <QPainter>

#include "CachedText.h"

void TrafficRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const bool plain =
        !option.state.testAnyFlags(QStyle::State_Selected | QStyle::State_HasFocus) &&
        !option.features.testFlag(QStyleOptionViewItem::WrapText);
    const QVariant text = index.data(Qt::DisplayRole);
    if (!plain || text.typeId() != QMetaType::QString) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The style's text margin, and its vertical centring of one line.
    const QWidget* widget = option.widget;
    const QStyle* style = widget != nullptr ? widget->style() : nullptr;
    const int margin =
        (style != nullptr ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) : 0) +
        1;
    const int lineHeight = option.fontMetrics.height();
    const QRect& cell = option.rect;
    const QRect area(cell.left() + margin, cell.top() + (cell.height() - lineHeight) / 2,
                     cell.width() - 2 * margin, lineHeight);
    const QVariant colour = index.data(Qt::ForegroundRole);
    painter->save();
    painter->setFont(option.font);
    painter->setPen(colour.isValid() ? colour.value<QColor>()
                                     : option.palette.color(QPalette::Text));
    const bool drawn = CachedText::DrawTopLeftElided(*painter, area, text.toString());
    painter->restore();
    if (!drawn) {
        QStyledItemDelegate::paint(painter, option, index);
    }
}
