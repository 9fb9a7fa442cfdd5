#pragma once

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
};
