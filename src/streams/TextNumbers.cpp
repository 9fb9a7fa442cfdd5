#include "streams/TextNumbers.h"

#include <QByteArray>

namespace TextNumbers {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<qint64> decimalInteger(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<double> decimalFloat(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 32 || !isDigit(text.front()))
        return std::nullopt;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point)
            point = true;
        else if (!isDigit(c))
            return std::nullopt;
    }
    bool ok = false;
    const double value = text.toByteArray().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<double> frameRate(QByteArrayView text)
{
    const qsizetype slash = text.indexOf('/');
    if (slash < 0)
        return decimalFloat(text);
    const std::optional<qint64> numerator = decimalInteger(text.first(slash));
    const std::optional<qint64> denominator = decimalInteger(text.sliced(slash + 1));
    if (!numerator || !denominator || *denominator == 0)
        return std::nullopt;
    return double(*numerator) / double(*denominator);
}

} // namespace TextNumbers
