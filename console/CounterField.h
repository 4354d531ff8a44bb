#pragma once

#include <QFont>
#include <QLineEdit>

// A read-only field for a count that changes after every good poll. While it shows nothing but
// digits, left-aligned, without focus or selection, it paints as the line edit does but draws
// the digits from the glyphs the grids keep (CachedText) and places them from measures kept
// per font, where the line edit would lay the text out and measure it anew at each paint;
// anything else the line edit paints itself.
class CounterField : public QLineEdit {
    Q_OBJECT

public:
    CounterField(const QString& contents, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool Plain(const QString& shown) const;

    // Measures of the font the field last painted digits in: the height of a line of digits
    // and how far the line edit's baseline lies below the font's ascent.
    QFont measured_;
    int digitsHeight_ = 0;
    int ascentShift_ = 0;
};
