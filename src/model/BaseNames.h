#pragma once

#include "model/VideoFile.h"

#include <QString>

class Clock;

// Base names: the decimal seconds since 1970 that name a library file and its pictures.
namespace BaseNames {

// The first second from nowSeconds on that no record of records uses as its base name. The
// search does not stop after 100 seconds: it goes on to the next free second, so two downloads
// never share a name.
QString firstFree(const QList<VideoFile>& records, qint64 nowSeconds);

// True when base is already used on disk, by an earlier run or anything else: an entry of
// "Videos/" with that base under any extension, or a picture of it in "Screens/", "32x32/",
// "16x16/" or "160x90/" (a still frame outlives its file). False without a data folder.
bool takenOnDisk(const QString& base);

// Gives record a free base name and appends it, in one locked step so that two threads never
// take the same name. Returns the new record's index.
qsizetype appendWithNewBaseName(VideoFileArray& array, VideoFile record, const Clock& clock);

// The image index of the first entry whose base name equals base ignoring case; -1 when none.
qint32 imageIndexOf(const ImagesIndexArray& array, const QString& base);

} // namespace BaseNames
