#pragma once

#include <QGroupBox>
#include <QTextLayout>

// A group box whose caption is a title bar across its top, in the group colour, over a
// lowered frame whose inside shades from white to the button-face colour.
class BannerGroupBox : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int kTitleHeight = 22;

    explicit BannerGroupBox(const QString& title, QWidget* parent = nullptr);

    // The caption in the title bar, kept here instead of in QGroupBox: QGroupBox::setTitle
    // repaints the whole box with every control inside it, while a new caption here repaints
    // the title bar only. The main window changes captions after every good poll.
    QString title() const { return caption_; }
    void setTitle(const QString& title);

    // Where the caption is written, and the font it is written in: the group's font, made
    // smaller a pixel at a time while the caption would not fit, so no caption is cut.
    QRect CaptionRect() const;
    QFont CaptionFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect TitleRect() const;
    // How many pixels of the title bar, from its left, the caption now shown and title draw
    // alike.
    int UnchangedWidth(const QString& title) const;
    void LayOutCaption(const QFont& font) const;

    QString caption_;
    // The last fitted font, and the caption, room and group font it was fitted for.
    mutable QFont fitted_;
    mutable QString fittedCaption_;
    mutable int fittedRoom_ = -1;
    mutable QFont fittedFrom_;
    // The caption laid out in the fitted font.
    mutable QTextLayout captionLayout_;
    mutable QTextLine captionLine_;
};
