#pragma once

#include <QString>

class Settings;

// This run's counts for the three usage counters of the settings store. Any thread counts;
// the exit adds the counts to the stored values.
namespace UsageCounters {

// A media request recorded as a download candidate ("_DownloadedMediaByTraffic").
void countMediaByTraffic();
// A finished link download ("_DownloadedVideosByURL").
void countVideoByUrl();
// A music file taken from a browser cache ("_CatchedMusicFromCache").
void countMusicFromCache();

struct RunCounts
{
    qint64 mediaByTraffic = 0;
    qint64 videosByUrl = 0;
    qint64 musicFromCache = 0;
};

RunCounts runCounts();

// Adds the run's counts to the stored counters, in the order media, videos, music. A counter
// that has no stored value stays without one: who seeds the counters is outside the program.
// A stored text that is not a number is left alone rather than overwritten with the count.
void addRunCountsTo(Settings& settings, const RunCounts& counts);

// For tests: sets the run's counts back to zero.
void resetForTests();

} // namespace UsageCounters
