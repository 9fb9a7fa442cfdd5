#include "streams/IsoDuration.h"

#include "streams/TextNumbers.h"

std::optional<double> parseIsoDuration(QByteArrayView text)
{
    if (text.size() < 3 || text.size() > 64 || text.front() != 'P')
        return std::nullopt;
    // Designators in the order they may appear; 'M' means months before 'T' and minutes after.
    static constexpr struct
    {
        char designator;
        bool time;
        double seconds; // 0: accepted only with the value zero
    } fields[] = {
        {'Y', false, 0}, {'M', false, 0}, {'W', false, 7 * 86400.0}, {'D', false, 86400}, {'H', true, 3600},
        {'M', true, 60}, {'S', true, 1},
    };
    double total = 0;
    int next = 0; // the first field still allowed
    bool inTime = false;
    bool any = false;
    qsizetype at = 1;
    while (at < text.size()) {
        if (text[at] == 'T') {
            if (inTime || at + 1 == text.size())
                return std::nullopt;
            inTime = true;
            ++at;
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.'))
            ++end;
        if (end == at || end == text.size())
            return std::nullopt;
        const char designator = text[end];
        int field = next;
        while (field < 7 && (fields[field].designator != designator || fields[field].time != inTime))
            ++field;
        if (field == 7)
            return std::nullopt;
        const QByteArrayView number = text.sliced(at, end - at);
        std::optional<double> value;
        if (designator == 'S' && inTime)
            value = TextNumbers::decimalFloat(number);
        else if (const std::optional<qint64> integer = TextNumbers::decimalInteger(number))
            value = double(*integer);
        if (!value)
            return std::nullopt;
        if (fields[field].seconds == 0 && *value != 0)
            return std::nullopt;
        total += *value * fields[field].seconds;
        next = field + 1;
        any = true;
        at = end + 1;
    }
    if (!any || total > 10 * 366 * 86400.0)
        return std::nullopt;
    return total;
}
