// Feeds arbitrary bytes to the MPD parser, as a web server or a page could send them. The clock
// is fixed so that a dynamic manifest's live edge is computed too.
#include "streams/DashManifest.h"
#include "streams/StreamLimits.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QUrl address(QStringLiteral("http://127.0.0.1/dash/manifest.mpd"));
    static const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-09T21:00:00Z"), Qt::ISODate);
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    const StreamResult<DashManifest> result = DashManifest::parse(text, address, now);
    if (!result.ok()) {
        if (result.error().text.isEmpty())
            __builtin_trap();
        return 0;
    }
    qsizetype segments = 0;
    for (const DashPeriod& period : result.value().periods) {
        for (const QList<DashRepresentation>* list : {&period.video, &period.audio}) {
            for (const DashRepresentation& representation : *list) {
                segments += representation.segments.size();
                for (const SegmentRequest& segment : representation.segments) {
                    if (segment.url.scheme() != QLatin1String("http") && segment.url.scheme() != QLatin1String("https"))
                        __builtin_trap();
                    if (segment.range && (segment.range->offset < 0 || segment.range->length <= 0))
                        __builtin_trap();
                }
            }
        }
    }
    if (segments > StreamLimits::MaxSegments)
        __builtin_trap();
    return 0;
}
