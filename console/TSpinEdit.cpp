#include "TSpinEdit.h"

#include <QLineEdit>

#include <algorithm>

TSpinEdit::TSpinEdit(int minimum, int maximum, int maxLength, int value, QWidget* parent)
    : QSpinBox(parent) {
    setRange(minimum, maximum);
    setValue(value);
    lineEdit()->setMaxLength(maxLength);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int TSpinEdit::ValueOf(const QString& text) const {
    bool ok = false;
    const qlonglong typed = text.trimmed().toLongLong(&ok, 10);
    if (!ok) {
        return minimum();
    }
    return static_cast<int>(std::clamp<qlonglong>(typed, minimum(), maximum()));
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    const bool typable = std::all_of(input.cbegin(), input.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
    });
    return typable ? QValidator::Acceptable : QValidator::Invalid;
}

int TSpinEdit::valueFromText(const QString& text) const {
    return ValueOf(text);
}

void TSpinEdit::fixup(QString& input) const {
    input = QString::number(ValueOf(input));
}
