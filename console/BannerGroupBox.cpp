#include "BannerGroupBox.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The system tooltip background colour, the banner's group colour.
const QColor kGroupColor(255, 255, 225);
// Below this a caption would be hard to read; it is not made any smaller.
constexpr int kSmallestCaptionPixels = 9;

// A one-pixel line across or down, both ends included, as a 1-pixel-wide pen draws it: filled
// rather than stroked, which costs a fraction as much, and mostly falls outside what a repaint
// of a control inside the box lets through.
void Line(QPainter& painter, QPoint from, QPoint to, const QColor& color) {
    painter.fillRect(QRect(from, to).normalized(), color);
}

}  // namespace

BannerGroupBox::BannerGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(parent), caption_(title) {
    setAccessibleName(caption_);
    // The box paints every pixel of itself, so the window behind it is not painted first
    // whenever a control inside it changes.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BannerGroupBox::setTitle(const QString& title) {
    if (title == caption_) {
        return;
    }
    // Where the old caption was drawn, what it shares with the new one stays as it is when
    // both are written in the same font: only the rest of the title bar is painted again.
    const QFont before = CaptionFont();
    const int unchanged = UnchangedWidth(title);
    caption_ = title;
    setAccessibleName(caption_);
    const QRect bar = TitleRect();
    update(CaptionFont() == before ? bar.adjusted(unchanged, 0, 0, 0) : bar);
}

int BannerGroupBox::UnchangedWidth(const QString& title) const {
    const auto common = static_cast<int>(
        std::mismatch(caption_.begin(), caption_.end(), title.begin(), title.end()).first -
        caption_.begin());
    // A glyph may reach a little over the one before it, and antialiasing a pixel further:
    // the last shared character is drawn again too.
    if (common < 2) {
        return 0;
    }
    const int x = CaptionRect().left() + static_cast<int>(Fit().line.cursorToX(common - 1)) - 1;
    return std::max(0, x - TitleRect().left());
}

QRect BannerGroupBox::TitleRect() const {
    return {2, 2, width() - 4, kTitleHeight};
}

QRect BannerGroupBox::CaptionRect() const {
    return TitleRect().adjusted(6, 0, -2, 0);
}

QFont BannerGroupBox::CaptionFont() const {
    return Fit().font;
}

const BannerGroupBox::Fitted& BannerGroupBox::Fit() const {
    const int room = CaptionRect().width();
    if (room != fittedRoom_ || font() != fittedFrom_) {
        fitted_.clear();
        fittedRoom_ = room;
        fittedFrom_ = font();
    }
    if (const auto found = fitted_.constFind(caption_); found != fitted_.constEnd()) {
        return **found;
    }
    if (fitted_.size() >= kMaxFitted) {
        fitted_.clear();
    }
    auto fitted = std::make_shared<Fitted>();
    fitted->font = fittedFrom_;
    // The caption is laid out once in the group's font, to be measured and then drawn; only a
    // caption too long for it is measured again in smaller sizes.
    LayOut(*fitted, caption_);
    int pixels = QFontInfo(fitted->font).pixelSize();
    if (pixels > kSmallestCaptionPixels && qRound(fitted->line.horizontalAdvance()) > room) {
        do {
            fitted->font.setPixelSize(--pixels);
        } while (pixels > kSmallestCaptionPixels &&
                 QFontMetrics(fitted->font).horizontalAdvance(caption_) > room);
        LayOut(*fitted, caption_);
    }
    return **fitted_.insert(caption_, std::move(fitted));
}

void BannerGroupBox::LayOut(Fitted& fitted, const QString& caption) {
    fitted.layout.setText(caption);
    fitted.layout.setFont(fitted.font);
    // Keeps the shaped glyphs, which drawing and measuring would otherwise shape anew.
    fitted.layout.setCacheEnabled(true);
    fitted.layout.beginLayout();
    fitted.line = fitted.layout.createLine();
    fitted.layout.endLayout();
}

void BannerGroupBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect all = rect();
    const QPalette& pal = palette();
    const QRect title = TitleRect();
    // A new caption repaints the title bar only: the shading under the bar's own colour and
    // the frame around it are then left out.
    const bool barOnly = title.contains(event->rect());

    if (!barOnly) {
        QLinearGradient inside(all.topLeft(), all.bottomLeft());
        inside.setColorAt(0, Qt::white);
        inside.setColorAt(1, pal.color(QPalette::Button));
        painter.fillRect(all, inside);
    }

    // The title bar only when it is to be painted: a control inside the box that changes
    // (a counter after every poll) would otherwise have the caption laid out again each time.
    if (event->rect().intersects(title)) {
        painter.fillRect(title, kGroupColor);
        Line(painter, title.bottomLeft(), title.bottomRight(), pal.color(QPalette::Mid));
        painter.setPen(pal.color(QPalette::WindowText));
        // As drawText with Qt::AlignLeft | Qt::AlignVCenter, from the kept layout.
        const Fitted& fitted = Fit();
        painter.setFont(fitted.font);
        const QRect caption = CaptionRect();
        fitted.layout.draw(
            &painter,
            QPointF(caption.left(), caption.top() + (caption.height() - fitted.line.height()) / 2));
    }
    if (barOnly) {
        return;
    }

    // Lowered frame: shadow above and left, light below and right.
    const QColor mid = pal.color(QPalette::Mid);
    Line(painter, all.topLeft(), all.topRight(), mid);
    Line(painter, all.topLeft(), all.bottomLeft(), mid);
    const QColor dark = pal.color(QPalette::Dark);
    Line(painter, all.topLeft() + QPoint(1, 1), all.topRight() + QPoint(-1, 1), dark);
    Line(painter, all.topLeft() + QPoint(1, 1), all.bottomLeft() + QPoint(1, -1), dark);
    const QColor light = pal.color(QPalette::Light);
    Line(painter, all.bottomLeft(), all.bottomRight(), light);
    Line(painter, all.topRight(), all.bottomRight(), light);
}
