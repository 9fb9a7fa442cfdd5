// Feeds arbitrary bytes to one of the browser-cache entry readers (chosen at build time with
// CACHE_ENTRY_FORMAT): anyone who can write into a browser's cache folder controls these bytes.
#include "library/CacheEntryReader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CacheEntryReader::Source source;
    source.size = bytes.size();
    source.read = [&bytes](qint64 offset, qint64 length) {
        if (offset < 0 || length < 0 || offset > bytes.size())
            __builtin_trap(); // a reader must never ask outside the file
        return bytes.mid(offset, length);
    };
    const CacheEntryReader::Body body = CacheEntryReader::read(CacheEntryFormat::CACHE_ENTRY_FORMAT, source);
    if (!body.ok && (!body.spans.isEmpty() || body.why.isEmpty()))
        __builtin_trap();
    // The body lies inside the file and its spans add up to its size.
    qint64 total = 0;
    for (const CacheEntryReader::Span& span : body.spans) {
        if (span.length <= 0 || span.fileOffset < 0 || span.fileOffset > bytes.size() ||
            span.length > bytes.size() - span.fileOffset)
            __builtin_trap();
        total += span.length;
    }
    if (total != body.size || total > bytes.size())
        __builtin_trap();
    return 0;
}
