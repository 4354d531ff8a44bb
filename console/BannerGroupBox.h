#pragma once

#include <QGroupBox>
#include <QHash>
#include <QTextLayout>

#include <memory>

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
    // A caption fitted to the title bar: its font and its layout in that font.
    struct Fitted {
        QFont font;
        QTextLayout layout;
        QTextLine line;
    };
    // At most this many captions are kept fitted; a caption that comes back (a temperature
    // wavering in its last digit) is then neither measured nor laid out again.
    static constexpr int kMaxFitted = 64;

    QRect TitleRect() const;
    // How many pixels of the title bar, from its left, the caption now shown and title draw
    // alike.
    int UnchangedWidth(const QString& title) const;
    const Fitted& Fit() const;
    static void LayOut(Fitted& fitted, const QString& caption);

    QString caption_;
    // Fitted captions, for the room and group font they were fitted to.
    mutable QHash<QString, std::shared_ptr<Fitted>> fitted_;
    mutable int fittedRoom_ = -1;
    mutable QFont fittedFrom_;
};
