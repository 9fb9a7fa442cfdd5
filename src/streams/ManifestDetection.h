#pragma once

#include <QStringView>

// What a captured response is to the stream catcher, from its Content-Type and its path.
enum class ResponseKind
{
    Other,
    HlsManifest,
    DashManifest,
    StreamSegment, // a bare segment: never a candidate of its own
};

// Manifests: application/vnd.apple.mpegurl, application/x-mpegurl, audio/mpegurl and
// application/dash+xml in any case and with any parameters; or text/plain,
// application/octet-stream, binary/octet-stream on a path ending ".m3u8" or ".mpd" (the query
// and fragment aside). Segments: video/mp2t and video/iso.segment.
ResponseKind classifyResponse(QStringView contentType, QStringView path);
