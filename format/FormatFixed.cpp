#include "FormatFixed.h"

#include <algorithm>
#include <charconv>
#include <iterator>

QString FormatFixed(std::int32_t value, int decimals) {
    // The magnitude is taken in 64 bits so that the most negative value has one.
    const std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    // Both parts are written as digits first and the text is made once, at its length: the
    // grids make these texts for every changed cell after every reply.
    char whole[24];
    char* wholeEnd = std::to_chars(std::begin(whole), std::end(whole), magnitude / scale).ptr;
    char fraction[24];
    char* fractionEnd =
        std::to_chars(std::begin(fraction), std::end(fraction), magnitude % scale).ptr;
    const auto wholeDigits = static_cast<int>(wholeEnd - whole);
    const auto fractionDigits = static_cast<int>(fractionEnd - fraction);
    const int zeros = std::max(0, decimals - fractionDigits);
    const int sign = value < 0 ? 1 : 0;
    QString text(sign + wholeDigits + 1 + zeros + fractionDigits, Qt::Uninitialized);
    const auto latin = [](char c) { return QLatin1Char(c); };
    QChar* at = text.data();
    if (sign != 0) {
        *at++ = QLatin1Char('-');
    }
    at = std::transform(whole, wholeEnd, at, latin);
    *at++ = QLatin1Char('.');
    at = std::fill_n(at, zeros, QLatin1Char('0'));
    std::transform(fraction, fractionEnd, at, latin);
    return text;
}
