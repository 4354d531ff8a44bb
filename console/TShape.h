#pragma once

#include <QColor>
#include <QWidget>

// A filled circle without outline, used as the connection lamp.
class TShape : public QWidget {
    Q_OBJECT

public:
    explicit TShape(QWidget* parent = nullptr);

    QColor BrushColor() const { return brushColor_; }
    void SetBrushColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brushColor_ = Qt::white;
};
