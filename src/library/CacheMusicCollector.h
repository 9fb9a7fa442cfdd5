#pragma once

#include "library/LibraryContext.h"

#include <QString>
#include <QStringList>

#include <functional>

class QFileInfo;

// Collects music from the browsers' disk caches: every cycle it looks through the cache
// folders of the enabled browsers, recognises MP3 bodies among the entries by their first
// bytes, copies each new one into "Videos/" as ".mp3", records it in MP3FileArr, lists it and
// marks the cache file so that later runs leave it alone. Runs on the collector's thread.
class CacheMusicCollector final
{
public:
    // One browser of the settings: the folders searched, in order, below the cache home.
    // A "*" stands for every profile folder.
    struct Browser
    {
        QString setting;
        bool firefox = false; // cache2 entries; otherwise Chromium simple-cache entries
        QStringList folders;
    };

    // A body must be larger than this to be taken (512 KiB).
    static constexpr qint64 SizeLimit = 524288;
    // Bytes compared with the earlier copies to find the same song cached twice.
    static constexpr qint64 DuplicateTestBytes = 1024;
    // A cached duplicate older than this is marked and no longer examined.
    static constexpr qint64 MarkAfterSeconds = 60;
    // Bound on the records of one run (MP3FileArr); past it nothing more is taken.
    static constexpr qsizetype MaxRecords = 10000;
    // Bound on folder nesting below a cache folder.
    static constexpr int MaxDepth = 16;

    // cacheHome: $XDG_CACHE_HOME (fixed for the collector's life); monitoring: the monitoring
    // switch, polled every cycle.
    CacheMusicCollector(const LibraryContext& context, QString cacheHome, std::function<bool()> monitoring);

    // The browsers in the order they are visited.
    static QList<Browser> browsers();

    // One cycle: nothing while monitoring or "getmusicfromcache" is off; otherwise every
    // browser whose setting is on. Settings are read anew each cycle. Returns the files taken.
    int cycle();

    // Examines one folder and, recursively, every folder below it; returns the files taken.
    int ScanCacheFolder(const QString& folder, bool firefox, int depth = 0);

    // The processed mark of a cache file ("title" = "1" as an extended attribute, or in the
    // data folder's tag store where the file system refuses attributes).
    static bool isMarked(const QString& cachePath);
    static bool mark(const QString& cachePath);

private:
    bool examine(const QFileInfo& file, bool firefox);

    const LibraryContext& m_context;
    QString m_cacheHome;
    std::function<bool()> m_monitoring;
};
