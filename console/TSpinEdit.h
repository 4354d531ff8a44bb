#pragma once

#include <QSpinBox>

// A spin field holding a whole number: only digits and "-" can be typed, a typed value outside
// the range is set to the nearest bound when the field is left, and text that is not a number
// counts as the minimum.
class TSpinEdit : public QSpinBox {
    Q_OBJECT

public:
    TSpinEdit(int minimum, int maximum, int maxLength, int value, QWidget* parent = nullptr);

    // The value of a text as the field takes it.
    int ValueOf(const QString& text) const;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
};
