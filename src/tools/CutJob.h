#pragma once

#include "tools/KeyframeProbe.h"
#include "tools/ToolCommand.h"
#include "tools/ToolJobThread.h"
#include "tools/ToolRunner.h"

#include <QObject>
#include <QString>

#include <functional>

// Cuts one fragment out of a media file without re-encoding: ffmpeg copies the streams from
// the keyframe at or before the chosen start to the chosen end into "Fragment of <title>.<ext>"
// in the output folder (the documents folder's "Trawlix/" by default, created when missing).
// The fragment is written under its own scratch name beside its final one and moved in only
// when it holds the whole span, so a failed cut leaves no partial file; a file that already has
// the name (an earlier fragment) is never replaced: the new one takes the next free name.
//
// Used by the cutter window and by `trawlix --cut`. run() blocks; start() runs the same on a
// worker thread of the job, whose signals arrive queued at receivers living elsewhere.
class CutJob final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CutJob)

public:
    struct Request
    {
        QString source;    // the media file
        QString title;     // names the fragment; empty: the source's base name
        QString format;    // the fragment's extension; empty: the source's suffix
        qint64 fromMs = 0; // the chosen span
        qint64 toMs = 0;
        QString outputDir; // empty: AppPaths::documentsDir()
    };

    struct Result
    {
        enum class Code
        {
            Cut,             // file holds the fragment
            EmptySpan,       // the start is not before the end
            EndPastDuration, // the end lies beyond the file
            Unreadable,      // ffprobe cannot read the file, or ffmpeg/ffprobe are missing
            OutputFolder,    // the output folder cannot be made or written
            Failed,          // ffmpeg ended without the whole fragment
        };
        Code code = Code::Failed;
        QString file;              // the fragment's path (also on failure: where it would have been)
        QString error;             // for the user when code is not Cut
        qint64 cutStartMs = 0;     // where the copy really starts (the keyframe)
        qint64 lengthMs = 0;       // what it copies from there
        bool fromKeyframe = false; // the start lies on a keyframe of the video (else as chosen)
    };

    // The end may lie this far past the probed duration: the page rounds the end to a tenth
    // and the player's length and the container's duration differ by a few milliseconds.
    static constexpr qint64 EndToleranceMs = 100;

    explicit CutJob(QObject* parent = nullptr);
    ~CutJob() override; // stops a running cut and waits for it

    // "Fragment of " + the cleaned "title.format" (format in small letters).
    static QString outputName(const QString& title, const QString& format);
    // "42%..Cutting: name.mp4"
    static QString caption(int percent, const QString& outputName);
    // The ffmpeg command that copies lengthMs from cutStartMs of source into output, reporting
    // its progress with "-progress".
    static ToolCommand command(const QString& source, qint64 cutStartMs, qint64 lengthMs, const QString& output);
    // Checks the span against the probe and works out where the cut starts; code Cut when the
    // request can be cut (file then holds the final path).
    static Result plan(const Request& request, const KeyframeProbe& probe);

    // Probes, cuts and checks the fragment; status receives "42%..Cutting: <name>" while ffmpeg
    // runs. Clearing runFlag (may be null) ends ffmpeg and the cut fails. Blocks the calling
    // thread.
    static Result run(const Request& request,
                      const std::function<void(const QString& status)>& status = {},
                      ToolRunner::RunFlag* runFlag = nullptr);

    // run() on the job's worker; false when a cut of this job is still running.
    bool start(const Request& request);
    bool running() const { return m_job.running(); }
    // Ends a running cut; finished() follows with nothing written.
    void stop();
    // Blocks until the worker is done; the outcome of the last cut (Failed when none ran).
    Result wait();

signals:
    void statusChanged(const QString& status);
    void finished(const CutJob::Result& result);

private:
    ToolJobThread<Result> m_job{ToolJobThread<Result>::Reuse::Again, ToolJobState::Running};
};
