#pragma once

#include "base/SharedArray.h"

#include <QDateTime>
#include <QString>

// How a browser keeps a cache entry, and so where the entry's media body lies in its file.
enum class CacheEntryFormat
{
    FirefoxEntry,   // cache2 entry: the body, then its metadata
    ChromiumStream, // simple-cache "<hash>_0": header, key, the body (stream 1), records
    ChromiumSparse, // simple-cache "<hash>_s": header, key, ranges of the body
};

// One browser-cache file taken into the library as ".mp3". The follower keeps appending to the
// library copy while the browser still fills its cache file.
struct MP3File
{
    qint64 copiedSize = 0;  // bytes of the library copy (64-bit: a copy may pass 4 GiB)
    QString cachePath;      // the browser's cache file
    QString libraryPath;    // "Videos/" + base + ".mp3"
    qint32 idleCounter = 0; // follower passes without growth
    QDateTime fileTime;     // the cache file's creation time; the copy's capture time
    CacheEntryFormat format = CacheEntryFormat::FirefoxEntry;
};

using MP3FileArray = SharedArray<MP3File>;
