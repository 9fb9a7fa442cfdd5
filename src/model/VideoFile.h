#pragma once

#include "base/SharedArray.h"

#include <QString>

// One detected media request and its download. Records are appended by the request analyser
// and updated by the probe and the download workers; none is ever removed during a run.
struct VideoFile
{
    // A segmented stream's manifest: the programme is the segments it names, not its own bytes.
    enum class Stream
    {
        None,
        Hls,
        Dash,
    };

    enum class State
    {
        New,      // just detected; the probe has not looked at it
        Old,      // probed (downloading, done or refused)
        Canceled, // given up by the user or by a failed part
    };

    State state = State::New;
    QString baseName; // decimal seconds since 1970; names the library file
    // 64-bit: a stream of 2 GiB or more would overflow a 32-bit count; the "Live" threshold
    // of 2000000000 bytes still applies.
    qint64 totalBytes = 0; // content length found by the probe
    qint64 receivedBytes = 0;
    QString url; // the record's key
    QString referer;
    QString cookie;
    QString userAgent;
    QString accept;
    QString acceptLanguage;
    QString acceptEncoding;
    QString connection;
    QString history; // newest page addresses first, each followed by "^"
    QString pageAddress;
    QString title;
    QString extension; // with the dot; ".bin" when unknown
    QString field17;
    QString field18;
    Stream stream = Stream::None;

    // Not part of the stored record: set once, under the array's lock, by the worker whose
    // bytes complete the download, so the assembly starts exactly once.
    bool assemblyStarted = false;
};

using VideoFileArray = SharedArray<VideoFile>;

// The state's name in trace and printed lines ("New", "Old", "Canceled").
QString stateName(VideoFile::State state);

// The stream's mark in the download list and printed lines: "HLS", "DASH", empty for none.
QString streamName(VideoFile::Stream stream);

// Maps a library file to its pictures in the media table's image lists.
struct ImagesIndex
{
    qint32 imageIndex = -1;
    QString baseName;
};

using ImagesIndexArray = SharedArray<ImagesIndex>;

// One file seen in "TempRecords/".
struct TempRecordsFile
{
    enum class State
    {
        Unknown,         // seen, not yet looked at
        RecordingNow,    // a recorder still writes it
        HasBeenRecorded, // finished; imported at the next pass
        HasBeenImported,
    };

    State state = State::Unknown;
    QString fileName;
};

using TempRecordsFileArray = SharedArray<TempRecordsFile>;

// "UnKnown", "RecordingNow", "HasBeenRecorded", "HasBeenImported".
QString stateName(TempRecordsFile::State state);
