#pragma once

#include <QString>

// What ffprobe and ffmpeg say about a media file, for tests that check what a download or an
// assembly made.
namespace MediaCheck {

// "codec_type=video", "width=640", "duration=6.000000"... one per line.
QString probe(const QString& file);
// The container's duration in seconds; -1 when ffprobe cannot tell.
double duration(const QString& file);
// What ffmpeg prints at the "error" level while decoding the whole file, and its exit code
// when not 0; empty when the file decodes cleanly.
QString decodeErrors(const QString& file);

} // namespace MediaCheck
