#include "FormatFixed.h"

QString FormatFixed(std::int32_t value, int decimals) {
    // The magnitude is taken in 64 bits so that the most negative value has one.
    const std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    QString text;
    if (value < 0) {
        text += QLatin1Char('-');
    }
    text += QString::number(magnitude / scale);
    text += QLatin1Char('.');
    text += QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
    return text;
}
