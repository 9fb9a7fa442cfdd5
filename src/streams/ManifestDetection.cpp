#include "streams/ManifestDetection.h"

#include <QLatin1StringView>

namespace {

bool oneOf(QStringView value, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (value.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

ResponseKind classifyResponse(QStringView contentType, QStringView path)
{
    // The media type without its parameters ("; charset=utf-8").
    const qsizetype semicolon = contentType.indexOf(QLatin1Char(';'));
    const QStringView type = (semicolon < 0 ? contentType : contentType.first(semicolon)).trimmed();
    if (oneOf(type, {"application/vnd.apple.mpegurl", "application/x-mpegurl", "audio/mpegurl"}))
        return ResponseKind::HlsManifest;
    if (oneOf(type, {"application/dash+xml"}))
        return ResponseKind::DashManifest;
    if (oneOf(type, {"video/mp2t", "video/iso.segment"}))
        return ResponseKind::StreamSegment;
    if (oneOf(type, {"text/plain", "application/octet-stream", "binary/octet-stream"})) {
        qsizetype end = path.size();
        for (const QChar stop : {QLatin1Char('?'), QLatin1Char('#')}) {
            const qsizetype at = path.indexOf(stop);
            if (at >= 0 && at < end)
                end = at;
        }
        const QStringView bare = path.first(end);
        if (bare.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive))
            return ResponseKind::HlsManifest;
        if (bare.endsWith(QLatin1String(".mpd"), Qt::CaseInsensitive))
            return ResponseKind::DashManifest;
    }
    return ResponseKind::Other;
}
