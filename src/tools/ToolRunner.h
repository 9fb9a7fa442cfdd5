#pragma once

#include "tools/ToolCommand.h"

#include <QString>

#include <atomic>
#include <functional>

// The one way Trawlix starts child tools (ffmpeg, ffprobe, yt-dlp). The two output channels
// are merged; output bytes are widened one byte to one character. Every call blocks its
// calling thread until the tool's output ends, so callers run it off the interface thread.
// A tool that cannot be started returns at once with the empty text.
namespace ToolRunner {

// Stop request for the stoppable modes: true while the job may run.
using RunFlag = std::atomic<bool>;

// Where a link-tool job shows what it prints.
struct LinkToolSink
{
    std::function<void(const QString& chunk)> showStatus;   // every chunk, "youtube-dl" replaced
    std::function<void(const QString& text)> setWindowText;  // "45.3%..Downloading"
    std::function<void(int code)> finished;                  // called once with 0 at the end
};

// Resolves a tool name: the data folder first, then PATH. "youtube-dl" resolves as "yt-dlp".
// Returns the absolute path, or the empty text when the tool is nowhere.
QString findTool(const QString& name);

// Collect mode: everything the tool printed.
QString runTool(const ToolCommand& command);

// Percent mode: shows percent + "%" + progressWord + suffix through setStatus after each read;
// onPercent (may be empty) receives each percentage (the conversion's movie call).
// Returns the output after the last "time=" stamp.
QString runToolWithPercent(const ToolCommand& command,
                           int totalSeconds,
                           const QString& suffix,
                           const QString& progressWord,
                           const std::function<void(const QString& text)>& setStatus,
                           const std::function<void(int percent)>& onPercent = {},
                           bool requireSuffix = false);

// Elapsed mode: shows "MM:SS - Recording..." (hours kept past an hour) through setWindowText;
// clearing runFlag ends the tool at the next chunk. Returns the output after the last stamp.
QString runToolElapsed(const ToolCommand& command,
                       RunFlag& runFlag,
                       const std::function<void(const QString& text)>& setWindowText);

// Link-status mode: each chunk to the sink; runFlag is tested before each read.
void runLinkTool(const ToolCommand& command, RunFlag& runFlag, const LinkToolSink& sink);

// The "time=" rule: consumes the collected text up to and including the first "time=",
// reads the stamp (HH:MM:SS.cc or seconds.fraction) and returns whole seconds. found is set
// to whether a stamp was present; without one the text is unchanged and 0 is returned.
int ffmpegTimeToSeconds(QString& collected, bool* found = nullptr);

// Ends every child tool Trawlix started and that still runs (terminate, then kill).
// Never touches processes of other programs.
void killAllTools();

// Ends the running children started from the given program name ("ffmpeg", "Recorder").
void killToolsNamed(const QString& programName);

} // namespace ToolRunner
