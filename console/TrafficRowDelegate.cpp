#include "TrafficRowDelegate.h"

#include <QPainter>

#include "CachedText.h"

void TrafficRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const bool plain = !option.state.testFlag(QStyle::State_HasFocus) &&
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
    QColor pen;
    if (option.state.testFlag(QStyle::State_Selected)) {
        if (style == nullptr) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // A selected row: the style's selection behind the cell without its text, and the
        // text in the style's colour for selected text.
        QStyleOptionViewItem behind = option;
        initStyleOption(&behind, index);
        behind.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &behind, painter, widget);
        QPalette::ColorGroup group =
            option.state.testFlag(QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !option.state.testFlag(QStyle::State_Active)) {
            group = QPalette::Inactive;
        }
        pen = option.palette.color(group, QPalette::HighlightedText);
    } else {
        const QVariant colour = index.data(Qt::ForegroundRole);
        pen = colour.isValid() ? colour.value<QColor>() : option.palette.color(QPalette::Text);
    }
    painter->save();
    painter->setFont(option.font);
    painter->setPen(pen);
    CachedText::DrawTopLeftElided(*painter, area, text.toString());
    painter->restore();
}
