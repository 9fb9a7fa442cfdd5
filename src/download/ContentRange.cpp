#include "download/ContentRange.h"

namespace {

// Reads a run of 1 to MaxDigits decimal digits from at; false when there is none or it is
// longer.
bool readNumber(QByteArrayView value, qsizetype& at, qint64& number)
{
    const qsizetype first = at;
    number = 0;
    while (at < value.size() && value.at(at) >= '0' && value.at(at) <= '9') {
        if (at - first == ContentRange::MaxDigits)
            return false;
        number = number * 10 + (value.at(at) - '0');
        ++at;
    }
    return at > first;
}

bool readChar(QByteArrayView value, qsizetype& at, char c)
{
    if (at >= value.size() || value.at(at) != c)
        return false;
    ++at;
    return true;
}

} // namespace

std::optional<ContentRange> ContentRange::parse(QByteArrayView value)
{
    constexpr QByteArrayView unit("bytes ");
    if (value.size() < unit.size() || value.first(unit.size()).compare(unit, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    qsizetype at = unit.size();
    ContentRange range;
    if (!readNumber(value, at, range.start) || !readChar(value, at, '-') || !readNumber(value, at, range.end) ||
        !readChar(value, at, '/') || !readNumber(value, at, range.total) || at != value.size())
        return std::nullopt;
    if (range.start > range.end || range.end >= range.total)
        return std::nullopt;
    return range;
}
