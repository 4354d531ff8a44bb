#include "CounterField.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionFrame>
#include <QTextLayout>

#include <algorithm>

#include "CachedText.h"

namespace {

// The margins the line edit keeps around its line of text, inside the style's contents.
constexpr int kHorizontalMargin = 2;

}  // namespace

CounterField::CounterField(const QString& contents, QWidget* parent) : QLineEdit(contents, parent) {
    // Digits need no shaping: without it a new count is laid out from the font's character
    // map alone. Only the strategy is set here; the face and size still come from the window.
    QFont unshaped;
    unshaped.setStyleStrategy(QFont::PreferNoShaping);
    setFont(unshaped);
}

bool CounterField::Plain(const QString& shown) const {
    const auto digit = [](QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; };
    return !shown.isEmpty() && std::all_of(shown.begin(), shown.end(), digit) && isReadOnly() &&
           !hasFocus() && !hasSelectedText() && echoMode() == Normal && inputMask().isEmpty() &&
           alignment() == (Qt::AlignLeft | Qt::AlignVCenter) &&
           layoutDirection() == Qt::LeftToRight && !isClearButtonEnabled() &&
           styleSheet().isEmpty() && qApp->styleSheet().isEmpty();
}

void CounterField::paintEvent(QPaintEvent* event) {
    const QString shown = text();
    qreal width = 0;
    if (!Plain(shown) || !CachedText::PlainWidth(font(), shown, width)) {
        QLineEdit::paintEvent(event);
        return;
    }
    if (font() != measured_ || digitsHeight_ == 0) {
        measured_ = font();
        const QFontMetrics metrics(measured_);
        // Every digit comes from the same face, so a line of them measures as one does.
        digitsHeight_ =
            std::max(metrics.boundingRect(QStringLiteral("0")).height(), metrics.height());
        QTextLayout layout(QStringLiteral("0"), measured_);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        ascentShift_ = qRound(line.ascent()) - metrics.ascent();
    }
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    const QRect contents = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                               .marginsRemoved(textMargins());
    const QRect line(contents.x() + kHorizontalMargin,
                     contents.y() + (contents.height() - digitsHeight_ + 1) / 2,
                     contents.width() - 2 * kHorizontalMargin, digitsHeight_);
    // Digits wider than the line are scrolled, and a line taller than the contents is cut:
    // the line edit itself knows how.
    if (qRound(width) + 1 > line.width() || !contents.contains(line)) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    painter.setPen(palette().text().color());
    CachedText::DrawTopLeft(painter, line.translated(0, -ascentShift_), shown);
}
