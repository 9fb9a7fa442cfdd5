#pragma once

#include "base/Settings.h"
#include "download/DownloadTimeouts.h"
#include "model/VideoFile.h"
#include "streams/StreamLimits.h"
#include "streams/StreamPlan.h"
#include "tools/RecordJob.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

class StreamFetcher;
class StreamMux;

// Downloads one stream candidate: its playlists (through StreamPlanBuilder), then the chosen
// tracks' segments, kParallel at a time over one kept connection each, each with kAttempts
// attempts, decrypting AES-128 ones, roughly in the order of the programme across the tracks.
// Every finished segment is kept in its own file under `folder`, so a run after a failure fetches
// only what is missing. The tracks are muxed (StreamMux) from those files into one file in the
// folder while they download: ffmpeg reads each segment as soon as it is there. When that mux
// fails (MP4 refused the codecs), a Matroska mux runs once every segment is there. A live stream
// is recorded instead (see StreamRecorder) and its tracks joined for the library to mux. Runs on
// the calling thread.
class StreamDownload final
{
public:
    enum class Outcome
    {
        Done,      // every track muxed into `muxedFile` (a live recording: joined, `trackFiles`)
        Failed,    // `reason`: "Timeout", "Conn err", "Mux err" or what was wrong with the manifest
        Protected, // DRM: nothing downloaded
        Stopped,   // the stop flag was raised
    };

    // How a live recording ended.
    enum class LiveEnding
    {
        Ended,      // the stream ended (EXT-X-ENDLIST, the MPD turned static)
        Stopped,    // the user or the program stopped it
        ServerGone, // the server did not answer, or the stream did not grow, for LiveLimits::outage
        DiskLow,    // the disk's free space fell below the floor
        Bound,      // the recording reached its bound of segments or bytes
    };

    // Where a live recording misses part of the programme.
    struct Gap
    {
        double at = 0;     // seconds into the recording
        double missed = 0; // seconds of the programme gone by (an estimate; 0: unknown)
    };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString reason; // a live recording that ended early says why here too
        StreamPlan plan;
        QString muxedFile;      // in the stream's folder, ".mp4" or ".mkv"
        QStringList trackFiles; // a live recording's, the video (or only) track first
        bool live = false;
        LiveEnding ending = LiveEnding::Ended;
        double recordedSeconds = 0;
        QList<Gap> gaps;
    };

    // Where a download stands. Reported from the segment threads; returning false stops the
    // download (the user removed it): the outcome is Stopped, and a live recording keeps what
    // it recorded.
    struct Progress
    {
        int done = 0;  // segments (and init sections) on disk, of `total`
        int total = 0; // 0 for a live recording
        qint64 bytes = 0;
        bool live = false;
        double recordedSeconds = 0;
    };
    using ProgressHandler = std::function<bool(const Progress&)>;

    // What a live recording may cost.
    struct LiveLimits
    {
        qsizetype segments = StreamLimits::MaxSegments; // all tracks together
        qint64 bytes = qint64(1) << 40;                 // the segments on disk
        // The longest the server may stay silent, or its playlist stay the same (at least three
        // target durations); the recording ends after it.
        std::chrono::milliseconds outage{60000};
        // Playlist reloads come at most this often and at least this rarely, whatever the
        // target duration or minimumUpdatePeriod say.
        std::chrono::milliseconds shortestReload{1000};
        std::chrono::milliseconds longestReload{30000};
        // The recording ends, as the recorder's does, once the disk's free space less the room
        // for joining and muxing what was recorded (twice its size) falls below RecordJob's floor.
        RecordJob::FreeSpaceQuery freeSpace = &RecordJob::freeSpace;
    };

    static constexpr int kParallel = 4;
    static constexpr qint64 kLargestSegment = qint64(1) << 31;

    StreamDownload(VideoFile record,
                   QString folder,
                   StreamVariantChoice choice = StreamVariantChoice::Best,
                   const std::atomic<bool>* stop = nullptr);
    ~StreamDownload();
    StreamDownload(const StreamDownload&) = delete;
    StreamDownload& operator=(const StreamDownload&) = delete;

    void setTimeouts(const DownloadTimeouts& timeouts) { m_timeouts = timeouts; }
    void setLiveLimits(LiveLimits limits) { m_liveLimits = std::move(limits); }

    Result run(const ProgressHandler& progress = {});

    // "45%" of segments, or "Live 1:23" with the seconds recorded.
    static QString progressText(const Progress& progress);

private:
    bool downloadSegments(StreamFetcher& fetcher,
                          const StreamPlan& plan,
                          const ProgressHandler& progress,
                          Result& result,
                          StreamMux* mux);
    void muxAfterwards(const QList<QStringList>& inputs, const QStringList& extensions, Result& result);
    QList<QStringList> muxInputs(const StreamPlan& plan) const;
    QString segmentPath(int track, int segment) const;
    QString initPath(int track, int section) const;

    VideoFile m_record;
    QString m_folder;
    StreamVariantChoice m_choice;
    const std::atomic<bool>* m_stop;
    DownloadTimeouts m_timeouts;
    LiveLimits m_liveLimits;
};
