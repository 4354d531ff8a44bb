#include "BannerGroupBox.h"

#include <QLinearGradient>
#include <QPainter>

namespace {

// The system tooltip background colour, the banner's group colour.
const QColor kGroupColor(255, 255, 225);

}  // namespace

BannerGroupBox::BannerGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(parent), caption_(title) {
    setAccessibleName(caption_);
}

void BannerGroupBox::setTitle(const QString& title) {
    if (title == caption_) {
        return;
    }
    caption_ = title;
    setAccessibleName(caption_);
    update(TitleRect());
}

QRect BannerGroupBox::TitleRect() const {
    return {2, 2, width() - 4, kTitleHeight};
}

void BannerGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    const QPalette& pal = palette();

    QLinearGradient inside(all.topLeft(), all.bottomLeft());
    inside.setColorAt(0, Qt::white);
    inside.setColorAt(1, pal.color(QPalette::Button));
    painter.fillRect(all, inside);

    const QRect title = TitleRect();
    painter.fillRect(title, kGroupColor);
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawLine(title.bottomLeft(), title.bottomRight());
    painter.setPen(pal.color(QPalette::WindowText));
    painter.drawText(title.adjusted(6, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, caption_);

    // Lowered frame: shadow above and left, light below and right.
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawLine(all.topLeft(), all.topRight());
    painter.drawLine(all.topLeft(), all.bottomLeft());
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawLine(all.topLeft() + QPoint(1, 1), all.topRight() + QPoint(-1, 1));
    painter.drawLine(all.topLeft() + QPoint(1, 1), all.bottomLeft() + QPoint(1, -1));
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(all.bottomLeft(), all.bottomRight());
    painter.drawLine(all.topRight(), all.bottomRight());
}
