#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Media made at test time with ffmpeg's lavfi sources (no binary media in the tree), and what
// ffprobe and ffmpeg say about a media file a download, an assembly or a tool made.
namespace MediaFixture {

// True when an ffmpeg executable is on PATH.
bool ffmpegAvailable();

// Writes a clip of test pattern and sine tone to path (container from its extension).
// Returns false when ffmpeg failed.
bool makeClip(const QString& path, int seconds, bool withVideo = true);

// Runs ffmpeg quietly with the given inputs and options, writing path. Returns false when
// ffmpeg failed.
bool make(const QString& path, const QStringList& inputsAndOptions);

// A video-only MP4 clip of test pattern in MPEG-4 Part 2 at high quality: large for its length
// (past the probe's smallest media) and quick to make. size: "320x240".
bool makeVideoClip(const QString& path, int seconds, const QString& size);

// The inputs of a programme: a test pattern of this size at 25 frames a second and a sine tone,
// `seconds` long ("-f lavfi -i testsrc=... -f lavfi -i sine=...").
QStringList patternAndTone(int seconds, const QString& size);
// H.264 with a keyframe every second (25 frames) and AAC sound: what segmenters cut at.
QStringList h264EverySecond();

// "codec_type=video", "width=640", "height=360", "duration=6.000000"... one per line.
QString probe(const QString& path);
// The container's duration in seconds; -1 when ffprobe cannot tell.
double duration(const QString& path);
// What ffmpeg prints at the "error" level while decoding the whole file, and its exit code
// when not 0; empty when the file decodes cleanly.
QString decodeErrors(const QString& path);

// All of that at once.
struct Inspection
{
    double duration = -1; // seconds, of the container; -1 when ffprobe gave none
    QByteArray streams;   // "video 640x360\n", "audio\n" per stream, in file order, each once
    QByteArray errors;    // decodeErrors(); empty for a clean file
};
Inspection inspect(const QString& path);

} // namespace MediaFixture
