#pragma once

#include "base/Clock.h"
#include "tools/RecordSources.h"
#include "tools/ToolCommand.h"
#include "tools/ToolJobThread.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <functional>

// One recording of the computer's sound: ffmpeg records the chosen sources into
// "TempRecords/<start time>.mp3" (or ".wav") on a worker thread of the job, until stop() ends
// it with SIGTERM, which ffmpeg treats as the end of the recording and finishes its file. The
// recordings importer of the library takes the file from there. Used by the recorder window
// and by `trawlix --record`; signals come from the worker thread (queued to receivers that
// live elsewhere). A recording also ends by itself when the disk runs low (see FloorBytes).
class RecordJob final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecordJob)

public:
    enum class State
    {
        Idle,
        Recording,
        Stopping,
        Finished,
    };
    Q_ENUM(State)

    enum class Format
    {
        Mp3,
        Wav,
    };

    struct Result
    {
        enum class Code
        {
            Recorded,   // file holds the recording
            NoDevice,   // no source was given
            NotStarted, // ffmpeg is missing or the job already ran
            Failed,     // ffmpeg ended without a recording (device busy or missing)
        };
        enum class Ending
        {
            Asked,        // stop(), the time given, or ffmpeg's own end
            LowDiskSpace, // the disk's free space fell below the floor; the file is kept
        };

        Code code = Code::NotStarted;
        QString file;  // the recording's path (also on failure: where it would have been)
        QString error; // for the user when code is not Recorded, or why it ended early
        int seconds = 0;
        Ending ending = Ending::Asked;
    };

    // Free space of the file system that holds a folder; -1 when unknown.
    struct DiskSpace
    {
        qint64 available = -1;
        qint64 total = -1;
    };
    using FreeSpaceQuery = std::function<DiskSpace(const QString& folder)>;

    // A recording ends by itself once the disk holds less than this much free space (200 MiB,
    // or 1 % of a disk smaller than 20 GiB), so that it never fills the disk; the free space
    // is looked at once a second.
    static constexpr qint64 FloorBytes = qint64(200) * 1024 * 1024;
    static constexpr int FloorPercent = 1;
    static constexpr int SpaceCheckMs = 1000;
    static bool belowFloor(const DiskSpace& space);
    static DiskSpace freeSpace(const QString& folder); // statvfs
    // What the user is told when the disk ran low.
    static QString lowSpaceText();

    explicit RecordJob(const Clock& clock = Clock::system(), QObject* parent = nullptr);
    ~RecordJob() override; // stops a running recording and waits for it

    // The path a recording started at startSeconds gets in the data folder's "TempRecords/".
    static QString recordingPath(qint64 startSeconds, Format format);
    // The ffmpeg command that records sources into path (for maxSeconds when above 0),
    // reporting its progress with "-progress" and the sound's level (FfmpegProgress).
    static ToolCommand command(const QList<AudioSource>& sources, const QString& path, int maxSeconds = 0);
    static QString extension(Format format);
    // "MM:SS - Recording..." (the hours kept past an hour) for a position in microseconds.
    static QString caption(qint64 positionUs);

    // Starts recording, until stop() or for maxSeconds of sound when above 0; false (and
    // finished() with the reason) when it cannot.
    bool start(const QList<AudioSource>& sources, Format format, int maxSeconds = 0);
    // Asks ffmpeg to finish; finished() follows once the file is complete. Safe at any time.
    void stop();
    // Blocks until the worker is done and returns the outcome (NotStarted when never started).
    Result wait();

    // Replaces the free-space query (before start()).
    void setFreeSpaceQuery(FreeSpaceQuery query) { m_freeSpace = std::move(query); }

    State state() const { return m_job.state(); }
    int elapsedSeconds() const;
    QString path() const;

signals:
    void stateChanged(RecordJob::State state);
    // "MM:SS - Recording..." as ffmpeg reports its progress.
    void elapsedChanged(const QString& caption);
    // The recorded length and the loudest sample of the last tenth of a second (dBFS, -1000
    // for silence), about ten times a second.
    void levelChanged(qint64 positionUs, double peakDb);
    void finished(const RecordJob::Result& result);

private:
    Result run(const ToolCommand& command);
    // Ends a run that cannot start.
    bool refuse(const Result& result);

    // Stops the recording when the disk runs low, until done is set; sets m_lowSpace.
    void watchSpace(const QString& folder, std::atomic<bool>& done);

    const Clock& m_clock;
    FreeSpaceQuery m_freeSpace = &RecordJob::freeSpace;
    std::atomic<bool> m_lowSpace{false};
    mutable QMutex m_mutex; // m_path, m_elapsed
    QString m_path;
    QElapsedTimer m_elapsed;
    ToolJobThread<Result, State> m_job{ToolJobThread<Result, State>::Reuse::Once, State::Recording};
};
