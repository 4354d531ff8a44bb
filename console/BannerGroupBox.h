#pragma once

#include <QGroupBox>

// A group box whose caption is a title bar across its top, in the group colour, over a
// lowered frame whose inside shades from white to the button-face colour.
class BannerGroupBox : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int kTitleHeight = 22;

    explicit BannerGroupBox(const QString& title, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
