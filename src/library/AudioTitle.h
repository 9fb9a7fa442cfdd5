#pragma once

#include "model/MP3File.h"

#include <QString>

// A readable title for an audio file: "artist - title" from its ID3v2 tag, else from ffmpeg's
// metadata dump, else "MP3-файл от " with the browser-cache time when the file came from one.
namespace AudioTitle {

// Blocks while ffmpeg runs; callers are worker threads. Dumps are serialised internally
// because they share the one scratch file "MetaFile.txt" in the data folder.
QString read(const QString& filePath, const MP3FileArray* mp3Files = nullptr);

} // namespace AudioTitle
