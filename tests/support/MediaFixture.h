#pragma once

#include <QString>

// Media files made at test time with ffmpeg's lavfi sources (no binary media in the tree).
class MediaFixture final
{
public:
    // True when an ffmpeg executable is on PATH.
    static bool ffmpegAvailable();

    // Writes a clip of test pattern and sine tone to path (container from its extension).
    // Returns false when ffmpeg failed.
    static bool makeClip(const QString& path, int seconds, bool withVideo = true);
};
