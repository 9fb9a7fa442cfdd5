#include "base/UsageCounters.h"

#include "base/Settings.h"

#include <atomic>

namespace UsageCounters {
namespace {

std::atomic<qint64> g_mediaByTraffic{0};
std::atomic<qint64> g_videosByUrl{0};
std::atomic<qint64> g_musicFromCache{0};

void addTo(Settings& settings, const QString& name, qint64 count)
{
    const QString stored = settings.read(name);
    if (stored.isEmpty())
        return;
    bool ok = false;
    const qint64 value = stored.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return;
    settings.write(name, QString::number(value + count));
}

} // namespace

void countMediaByTraffic()
{
    g_mediaByTraffic.fetch_add(1);
}

void countVideoByUrl()
{
    g_videosByUrl.fetch_add(1);
}

void countMusicFromCache()
{
    g_musicFromCache.fetch_add(1);
}

RunCounts runCounts()
{
    return {g_mediaByTraffic.load(), g_videosByUrl.load(), g_musicFromCache.load()};
}

void addRunCountsTo(Settings& settings, const RunCounts& counts)
{
    addTo(settings, QStringLiteral("_DownloadedMediaByTraffic"), counts.mediaByTraffic);
    addTo(settings, QStringLiteral("_DownloadedVideosByURL"), counts.videosByUrl);
    addTo(settings, QStringLiteral("_CatchedMusicFromCache"), counts.musicFromCache);
}

void resetForTests()
{
    g_mediaByTraffic.store(0);
    g_videosByUrl.store(0);
    g_musicFromCache.store(0);
}

} // namespace UsageCounters
