#pragma once

#include "library/LibraryContext.h"

#include <QString>

// Puts one library file into the media table: reads its tags, measures and caches its
// duration, makes its thumbnail, still frame and icons, and inserts its row at the top. Runs
// on the caller's thread and blocks for five or six ffmpeg runs, so callers are workers.
namespace LibraryInserter {

// iconName names the site icon in "FavIcons/": "DefaultAudio", "DefaultVideo" or a host.
void insert(const LibraryContext& context, const QString& path, const QString& iconName);

// Loads the base's 32x32 and 16x16 icons (placeholders where missing) into the image lists and
// records them in ImagesIndexes. A base that already has an index gets its images replaced.
qint32 attachImages(const LibraryContext& context, const QString& base);

// The duration ffmpeg reports for a file ("HH:MM:SS.cc" or "n/a"); one ffmpeg run.
QString measureDuration(const QString& path);

} // namespace LibraryInserter
