#pragma once

#include <QString>

// The capture file of a page visit, as a browser on 127.0.0.1 leaves it: a video requested twice
// (port 8080) and a song (port 80), so three requests and two candidates ("/clip.mp4", an
// unnamed video, and "/music/Song.mp3", titled "Song").
namespace PageVisitCapture {

// Writes it as pcapFile; that path.
QString write(const QString& pcapFile);

} // namespace PageVisitCapture
