#pragma once

#include <QImage>
#include <QProxyStyle>

// A style for one read-only field that changes its text after every good poll: the field's
// panel (its frame and base over the pixels of the box behind it) is taken once from the
// window's image as painted and then copied for each new text, instead of the application
// style stroking its rounded frame and the box painting its shading behind it each time. Once
// taken, the field paints every pixel of itself, so the box behind is not painted for it. A
// change of the field's size, place, state or palette, or of the box behind, has both painted
// again and the panel taken anew.
class PanelSnapshotStyle : public QProxyStyle {
public:
    // Sets the style on field, which it then paints for.
    static void Install(QWidget& field);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit PanelSnapshotStyle(QWidget& field);
    void Drop();

    struct Key {
        QRect geometry;
        QStyle::State state;
        qint64 palette = 0;
        QSize behindSize;
        qint64 behindPalette = 0;
        bool operator==(const Key&) const = default;
    };

    QWidget& field_;
    mutable Key key_;
    mutable QImage snapshot_;
};
