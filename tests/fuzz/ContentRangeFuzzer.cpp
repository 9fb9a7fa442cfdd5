// Feeds arbitrary header values to the Content-Range reader that decides where a 206 answer's
// bytes go in a part file. The value is whatever a web server sent.
#include "download/ContentRange.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView value(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<ContentRange> range = ContentRange::parse(value);
    if (!range)
        return 0;
    if (range->start < 0 || range->start > range->end || range->end >= range->total)
        __builtin_trap();
    // "bytes " and three numbers of at most 18 digits with their two separators.
    if (value.size() > 6 + 3 * ContentRange::MaxDigits + 2)
        __builtin_trap();
    // Written out again, the range reads back the same.
    const QByteArray text = "bytes " + QByteArray::number(range->start) + '-' + QByteArray::number(range->end) + '/' +
                            QByteArray::number(range->total);
    if (ContentRange::parse(text) != range)
        __builtin_trap();
    return 0;
}
