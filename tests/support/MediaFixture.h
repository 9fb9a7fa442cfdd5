#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Media files made at test time with ffmpeg's lavfi sources (no binary media in the tree).
class MediaFixture final
{
public:
    // True when an ffmpeg executable is on PATH.
    static bool ffmpegAvailable();

    // Writes a clip of test pattern and sine tone to path (container from its extension).
    // Returns false when ffmpeg failed.
    static bool makeClip(const QString& path, int seconds, bool withVideo = true);

    // Runs ffmpeg quietly with the given inputs and options, writing path. Returns false when
    // ffmpeg failed.
    static bool make(const QString& path, const QStringList& inputsAndOptions);

    // What ffprobe and a full decode by ffmpeg say of a file.
    struct Inspection
    {
        double duration = -1; // seconds, of the container; -1 when ffprobe gave none
        QByteArray streams;   // "video 640x360\n", "audio\n" per stream, in file order, each once
        QByteArray errors;    // ffmpeg -v error while decoding it all; empty for a clean file
    };
    static Inspection inspect(const QString& path);
};
