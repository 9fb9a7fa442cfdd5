// Feeds arbitrary bytes to the HLS playlist parser, as a web server or a page could send them.
#include "streams/HlsPlaylist.h"
#include "streams/StreamLimits.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QUrl address(QStringLiteral("http://127.0.0.1/live/media/index.m3u8"));
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    const StreamResult<HlsPlaylist> result = HlsPlaylist::parse(text, address);
    if (!result.ok()) {
        if (result.error().text.isEmpty())
            __builtin_trap();
        return 0;
    }
    const HlsPlaylist& playlist = result.value();
    if (playlist.segments.size() > StreamLimits::MaxSegments || playlist.variants.size() > StreamLimits::MaxVariants)
        __builtin_trap();
    for (const SegmentRequest& segment : playlist.segments) {
        const QString scheme = segment.url.scheme();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            __builtin_trap();
        if (segment.range && (segment.range->offset < 0 || segment.range->length <= 0 || segment.range->last() < 0))
            __builtin_trap();
        if (segment.initSection >= playlist.initSections.size())
            __builtin_trap();
        if (segment.key.method == SegmentKey::Method::Aes128 && segment.key.iv.size() != 16)
            __builtin_trap();
    }
    return 0;
}
