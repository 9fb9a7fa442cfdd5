// Feeds arbitrary bytes to the sidx reader, as the index range of a single-file stream.
#include "streams/SegmentIndex.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QUrl url(QStringLiteral("http://127.0.0.1/dash/single.mp4"));
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const StreamResult<SegmentIndex> index = SegmentIndex::parse(bytes);
    if (!index.ok())
        return 0;
    if (index.value().boxOffset + index.value().boxSize > qint64(size) || index.value().timescale == 0)
        __builtin_trap();
    const StreamResult<QList<SegmentRequest>> segments = index.value().segments(url, 1000);
    if (!segments.ok())
        return 0;
    qint64 next = 1000 + index.value().boxOffset + index.value().boxSize + qint64(index.value().firstOffset);
    for (const SegmentRequest& segment : segments.value()) {
        if (!segment.range || segment.range->offset != next || segment.range->length <= 0)
            __builtin_trap();
        next += segment.range->length;
    }
    return 0;
}
