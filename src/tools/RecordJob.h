#pragma once

#include "base/Clock.h"
#include "tools/RecordSources.h"
#include "tools/ToolCommand.h"
#include "tools/ToolRunner.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <thread>

// One recording of the computer's sound: ffmpeg records the chosen sources into
// "TempRecords/<start time>.mp3" (or ".wav") on a worker thread of the job, until stop() ends
// it with SIGTERM, which ffmpeg treats as the end of the recording and finishes its file. The
// recordings importer of the library takes the file from there. Used by the recorder window
// and by `trawlix --record`; signals come from the worker thread (queued to receivers that
// live elsewhere).
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
        Code code = Code::NotStarted;
        QString file;  // the recording's path (also on failure: where it would have been)
        QString error; // for the user when code is not Recorded
        int seconds = 0;
    };

    explicit RecordJob(const Clock& clock = Clock::system(), QObject* parent = nullptr);
    ~RecordJob() override; // stops a running recording and waits for it

    // The path a recording started at startSeconds gets in the data folder's "TempRecords/".
    static QString recordingPath(qint64 startSeconds, Format format);
    // The ffmpeg command that records sources into path (for maxSeconds when above 0).
    static ToolCommand command(const QList<AudioSource>& sources, const QString& path, int maxSeconds = 0);
    static QString extension(Format format);

    // Starts recording, until stop() or for maxSeconds of sound when above 0; false (and
    // finished() with the reason) when it cannot.
    bool start(const QList<AudioSource>& sources, Format format, int maxSeconds = 0);
    // Asks ffmpeg to finish; finished() follows once the file is complete. Safe at any time.
    void stop();
    // Blocks until the worker is done and returns the outcome (NotStarted when never started).
    Result wait();

    State state() const { return m_state.load(); }
    int elapsedSeconds() const;
    QString path() const;

signals:
    void stateChanged(RecordJob::State state);
    // "MM:SS - Recording..." as ffmpeg reports its progress.
    void elapsedChanged(const QString& caption);
    void finished(const RecordJob::Result& result);

private:
    void setState(State state);
    void run(const ToolCommand& command);
    void finish(const Result& result);

    const Clock& m_clock;
    std::atomic<State> m_state{State::Idle};
    std::atomic<bool> m_started{false}; // start() has been called
    ToolRunner::RunFlag m_runFlag{false};
    std::thread m_worker;
    mutable QMutex m_mutex; // m_path, m_result, m_elapsed
    QString m_path;
    Result m_result;
    QElapsedTimer m_elapsed;
};
