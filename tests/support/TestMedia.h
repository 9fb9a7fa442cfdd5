#pragma once

#include <QString>
#include <QStringList>

// Media files made by ffmpeg at test time (no binary fixtures in the repository).
class TestMedia final
{
public:
    // Runs "ffmpeg -y -hide_banner -loglevel error ARGS OUTPUT"; true when the file exists.
    static bool make(const QString& outputPath, const QStringList& arguments);

    // A small H.264 + AAC MP4 of the given length with one sine audio stream.
    static bool video(const QString& outputPath, double seconds);

    // True when ffmpeg and ffprobe can be started.
    static bool toolsAvailable();
};
