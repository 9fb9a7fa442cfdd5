#pragma once

#include "tools/LinkCommand.h"
#include "tools/LinkProgress.h"
#include "tools/ToolJobThread.h"

#include <QMutex>
#include <QObject>
#include <QStringList>

// One download by link: yt-dlp fetches the address (one video, chosen items of a playlist,
// or audio only) on a worker thread of the job. Unfinished files stay in a folder of the job's
// own under "TempDownloads/", so only finished files ever appear in "TempDownloads/" itself,
// where the link-download importer takes them into the library. abort() ends yt-dlp and
// whatever it started (ffmpeg) as one process group and removes the unfinished files. Used by
// the downloader window and by `trawlix --download-link`; signals come from the worker thread.
class LinkDownloadJob final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkDownloadJob)

public:
    enum class State
    {
        Idle,
        Running,
        Stopping,
        Finished,
    };
    Q_ENUM(State)

    struct Result
    {
        enum class Code
        {
            Downloaded,  // every requested item arrived
            Partly,      // some items arrived, the tool reported errors for others
            Aborted,     // abort() ended the run
            BadRequest,  // the address or the playlist items cannot be used
            ToolMissing, // yt-dlp is not installed
            Failed,      // the tool ended without a file (errorLine says why)
            Crashed,     // the tool ended by a signal nobody sent
        };
        Code code = Code::Failed;
        QString error;     // for the user when code is not Downloaded
        QStringList files; // finished files this job left in "TempDownloads/" (names only)
    };

    // How long yt-dlp and ffmpeg get to end after abort() before they are killed.
    static constexpr int AbortGraceMs = 1000;

    explicit LinkDownloadJob(QObject* parent = nullptr);
    ~LinkDownloadJob() override; // aborts a running download and waits for it

    // Starts the download; false (and finished() with the reason) when it cannot start.
    bool start(const LinkCommand::Request& request);
    // Ends the tool; finished() follows with Aborted. Safe at any time.
    void abort();
    // Blocks until the worker is done; the outcome (Failed when never started).
    Result wait();

    State state() const { return m_job.state(); }
    ToolCommand command() const;
    QString mark() const;
    // The progress as LinkProgress shows it (any thread).
    QString progressText() const;
    QString caption() const;
    QString statusText() const;

    // The page a finished file of a job of this run came from (by the job mark after its "~");
    // empty when no job of this run wrote it.
    static QString pageOfFile(const QString& fileName);
    // The address of the download started last in this run.
    static QString lastAddress();
    // The text the user is shown when yt-dlp is missing.
    static QString toolMissingText();

signals:
    void stateChanged(LinkDownloadJob::State state);
    // The window title ("45.3%, 1.20 MiB/s, 00:12 left..Downloading") and the status field.
    void progressChanged(const QString& caption, const QString& status);
    void finished(const LinkDownloadJob::Result& result);

private:
    Result run(const ToolCommand& command, const QString& partialDir);
    // Ends a run that cannot start.
    bool refuse(const Result& result);
    QStringList finishedFiles() const;

    mutable QMutex m_mutex; // m_command, m_mark, m_progress
    ToolCommand m_command;
    QString m_mark;
    LinkProgress m_progress;
    ToolJobThread<Result, State> m_job{ToolJobThread<Result, State>::Reuse::Once, State::Running};
};
