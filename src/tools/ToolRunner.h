#pragma once

#include "tools/ToolCommand.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// The one way Trawlix starts child tools (ffmpeg, ffprobe, yt-dlp). The two output channels
// are merged into one pipe; output bytes are widened one byte to one character. Standard input
// is /dev/null, so a tool never reads the terminal. Every call blocks its calling thread until
// the tool's output ends and the tool is reaped, so callers run it off the interface thread.
// A tool that cannot be started returns at once with the empty text and leaves nothing open.
// Any thread may call it; no event loop is needed.
namespace ToolRunner {

// Stop request for the stoppable modes: true while the job may run. A cleared flag is seen
// within a tenth of a second even while the tool prints nothing.
using RunFlag = std::atomic<bool>;

// What a job ended with, for callers that need more than the text.
struct ToolResult
{
    enum class Code
    {
        Finished,   // the tool ran and exited on its own (exitCode holds its code)
        Crashed,    // the tool ended by a signal it was not sent by us
        Stopped,    // the run flag, killAllTools or killToolsNamed ended it
        NotStarted, // the tool was not found or could not be started
        TooLong,    // it printed more than the caller's bound and was ended there
        TimedOut,   // it ran past the caller's time limit and was ended there
    };

    Code code = Code::NotStarted;
    int exitCode = -1;
    QString output;
};

// How long a tool that answers a question (ffprobe, ffmpeg reading a file's facts or one
// frame) may run before it is ended: a file that blocks its reader (a FIFO, a stalled network
// mount) must not hold the job for ever. Jobs that run as long as the user wants (conversion,
// recording, link download) have a stop instead.
constexpr int DefaultTimeLimitMs = 30000;

// Resolves a tool name: a name with a "/" is taken as a path; otherwise the data folder first,
// then PATH. "youtube-dl" resolves as "yt-dlp". Returns the absolute path, or the empty text
// when the tool is nowhere.
QString findTool(const QString& name);

// Collect mode: everything the tool printed within timeLimitMs.
QString runTool(const ToolCommand& command, int timeLimitMs = DefaultTimeLimitMs);

// Collect mode with the outcome; runFlag (may be null) stops the job when cleared. With
// maxOutput above 0 the tool is ended as soon as its output passes maxOutput characters: the
// code is then TooLong and the output holds the first maxOutput characters only. A tool still
// running after timeLimitMs (none when 0 or less) is ended: the code is then TimedOut.
ToolResult runToolResult(const ToolCommand& command,
                         RunFlag* runFlag = nullptr,
                         qsizetype maxOutput = 0,
                         int timeLimitMs = DefaultTimeLimitMs);

// Collect mode that hands each chunk to onChunk as it arrives instead of collecting it, for
// jobs that read the tool's output themselves and may run for hours. The result's output holds
// only what the tool printed after runFlag (may be null) was cleared (its first mebibyte).
ToolResult runToolChunks(const ToolCommand& command,
                         const std::function<void(const QString& chunk)>& onChunk,
                         RunFlag* runFlag = nullptr);

// Link-download mode for jobs that read the tool's output themselves: each chunk as the tool
// wrote it (no widening, no replacing), until the output ends. runFlag is tested before each
// read; a cleared flag ends the tool's process group with SIGTERM and with SIGKILL after
// graceMs. The result tells how the tool ended; its output stays empty.
ToolResult runToolChunks(const ToolCommand& command,
                         RunFlag& runFlag,
                         const std::function<void(const QByteArray& chunk)>& onChunk,
                         int graceMs);

// Ends every child tool Trawlix started and that still runs (SIGTERM to its process group,
// SIGKILL after a grace period). Never touches processes of other programs. Returns once the
// children are gone or the grace period is over.
void killAllTools();

// Refuses every tool from now on (a start returns NotStarted) and ends the running ones: the
// program is going away, and a worker still to be joined must not start another tool.
// reopen() undoes the refusal (a test that shuts down and goes on).
void closeDown();
void reopen();

// Ends the running children whose program file name contains programName ("ffmpeg").
void killToolsNamed(const QString& programName);

// How many children started by the runner are still running (for tests and the exit path).
int runningToolCount();

} // namespace ToolRunner
