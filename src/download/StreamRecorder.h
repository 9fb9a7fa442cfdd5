#pragma once

#include "download/CurlEasy.h"
#include "download/StreamDownload.h"
#include "download/StreamJoin.h"
#include "streams/LiveWindow.h"

#include <QHash>

#include <chrono>

class StreamFetcher;

// Records a live stream (HLS without EXT-X-ENDLIST, DASH type="dynamic") from its live edge:
// the playlist reloaded every target duration (HLS; half of it when nothing changed) or every
// segment duration (DASH, at most minimumUpdatePeriod), the new segments fetched in order over
// one kept connection, each kept in its own file. An outage is ridden out with reloads at
// growing intervals; once the server answers again the recording goes on after its last
// segment, or at the edge when the playlist has moved past it (a gap, traced and in the
// result). It ends when the stream ends, when stopped (the user, the program), when the server
// stays silent past LiveLimits::outage, when the disk runs low or at the bounds of
// LiveLimits; whatever way, what was recorded is joined into track files, whole up to its last
// segment. A track recorded across gaps is joined run by run, and its track file is an ffconcat
// list of the runs: muxed, the runs follow each other without the gaps (ffmpeg would drop a gap
// of a transport stream only from 10 s on, and a restarted time line not at all). Runs on the
// calling thread.
class StreamRecorder final
{
public:
    using Clock = std::chrono::steady_clock;

    StreamRecorder(StreamFetcher& fetcher,
                   QString folder,
                   StreamVariantChoice choice,
                   StreamDownload::LiveLimits limits);

    StreamDownload::Result
    run(const StreamPlan& first, const StreamDownload::ProgressHandler& progress, CurlEasy& connection);

    // The time between two reloads of `plan`, before the limits' bounds: HLS the target
    // duration (half of it when the last reload brought nothing new), DASH the shortest
    // segment duration or minimumUpdatePeriod when that is shorter.
    static std::chrono::milliseconds reloadInterval(const StreamPlan& plan, bool changed);

private:
    struct Track
    {
        TrackPlan::Kind kind = TrackPlan::Kind::Video;
        QUrl playlistUrl;
        LiveWindow window{StreamFormat::Hls};
        QList<StreamJoin::Piece> pieces;
        // Pieces that start a run: the first after a gap or an EXT-X-DISCONTINUITY, whose time
        // stamps do not follow the piece before.
        QList<qsizetype> runStarts;
        bool gapPending = false;
        QHash<QString, QString> initFiles; // an init section's address and range: its file
        int failures = 0;                  // of the segment at the front of the window
    };
    enum class Step
    {
        Going,
        Halt, // an ending is set
    };

    void record(const StreamPlan& plan, bool reachable);
    Step recordSegment(int index, const TrackPlan& plan, const SegmentRequest& segment, bool reachable);
    std::optional<QString> initFile(int index, const TrackPlan& plan, const SegmentRequest& segment);
    std::optional<StreamPlan> reload(const StreamPlan& current, QString& reason);
    bool wait(Clock::time_point until);
    bool report();
    void end(StreamDownload::LiveEnding ending, const QString& reason = {});
    void noteGap(int index, double missed);
    StreamDownload::Result finish();
    std::optional<QString> trackFile(int index);

    StreamFetcher& m_fetcher;
    QString m_folder;
    StreamVariantChoice m_choice;
    StreamDownload::LiveLimits m_limits;
    const StreamDownload::ProgressHandler* m_progress = nullptr;
    CurlEasy* m_connection = nullptr;
    QList<Track> m_tracks;
    StreamDownload::Result m_result;
    std::optional<StreamDownload::LiveEnding> m_ending;
    qint64 m_bytes = 0;
    int m_segments = 0;
    bool m_newSegments = false; // the last round recorded something
    bool m_segmentFailed = false;
    QString m_lastFailure; // why the server went silent: "Conn err", "Timeout"...
};
