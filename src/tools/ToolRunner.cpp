#include "tools/ToolRunner.h"

#include "base/AppPaths.h"
#include "tools/ChildProcess.h"
#include "tools/ChildRegistry.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace ToolRunner {
namespace {

// How often a job with a run flag looks at it while the tool prints nothing.
constexpr int FlagPollMs = 100;

// What a tool asked to end may still print into the result (ffmpeg's closing report is a few
// kilobytes); the rest is read and dropped.
constexpr qsizetype MaxOutputAfterStop = 1024 * 1024;

QString resolve(const ToolCommand& command)
{
    return findTool(command.program);
}

ToolResult::Code codeOf(ChildProcess::Outcome outcome)
{
    switch (outcome) {
    case ChildProcess::Outcome::Exited:
        return ToolResult::Code::Finished;
    case ChildProcess::Outcome::Signalled:
        return ToolResult::Code::Crashed;
    case ChildProcess::Outcome::Stopped:
        return ToolResult::Code::Stopped;
    case ChildProcess::Outcome::NotStarted:
        break;
    }
    return ToolResult::Code::NotStarted;
}

// The one read loop of every mode. onBytes gets each chunk as the tool wrote it, with whether
// the job is ending, and returns false to end the job itself. A job ends when runFlag is
// cleared or onBytes asks: the tool's process group gets SIGTERM, and SIGKILL after graceMs
// (ChildProcess's own grace period when negative); what it still prints goes to onBytes marked
// as ending, until the output ends.
ToolResult pumpBytes(const ToolCommand& command,
                     RunFlag* runFlag,
                     int graceMs,
                     int timeLimitMs,
                     const std::function<bool(const QByteArray& bytes, bool ending)>& onBytes)
{
    ToolResult result;
    ChildProcess child(resolve(command), command);
    if (!child.started())
        return result;
    const QDeadlineTimer limit =
        timeLimitMs > 0 ? QDeadlineTimer(timeLimitMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    const bool poll = runFlag || timeLimitMs > 0;
    bool timedOut = false;
    bool ending = false;
    const auto end = [&] {
        if (graceMs < 0)
            child.terminate();
        else
            child.terminateWithin(graceMs);
        ending = true;
    };
    for (;;) {
        if (!ending && runFlag && !runFlag->load())
            end();
        if (!ending && limit.hasExpired()) {
            timedOut = true;
            end();
        }
        QByteArray bytes;
        const ChildProcess::Read read = child.read(bytes, poll || ending ? FlagPollMs : -1);
        if (read == ChildProcess::Read::End)
            break;
        if (read == ChildProcess::Read::Idle)
            continue;
        if (!onBytes(bytes, ending) && !ending)
            end();
    }
    result.code = codeOf(child.finish(&result.exitCode));
    if (timedOut && result.code == ToolResult::Code::Stopped)
        result.code = ToolResult::Code::TimedOut;
    return result;
}

// The text modes: each byte widened to one character. onChunk gets each chunk while the job may
// run and returns false to end it; once it is ending, what the tool still prints (up to
// MaxOutputAfterStop) is collected into the result's output without display.
ToolResult pump(const ToolCommand& command,
                RunFlag* runFlag,
                const std::function<bool(const QString& chunk)>& onChunk,
                int timeLimitMs = 0)
{
    QString rest;
    ToolResult result = pumpBytes(command, runFlag, -1, timeLimitMs, [&](const QByteArray& bytes, bool ending) {
        if (!ending)
            return onChunk(QString::fromLatin1(bytes));
        if (rest.size() < MaxOutputAfterStop)
            rest += QString::fromLatin1(bytes.left(MaxOutputAfterStop - rest.size()));
        return true;
    });
    result.output = rest;
    return result;
}

} // namespace

QString findTool(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/'))) {
        const QFileInfo info(name);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    const QString tool = name == QLatin1String("youtube-dl") ? QStringLiteral("yt-dlp") : name;
    if (AppPaths::hasDataDir()) {
        const QFileInfo local(AppPaths::file(tool));
        if (local.isFile() && local.isExecutable())
            return local.absoluteFilePath();
    }
    return QStandardPaths::findExecutable(tool);
}

ToolResult runToolResult(const ToolCommand& command, RunFlag* runFlag, qsizetype maxOutput, int timeLimitMs)
{
    QString collected;
    bool tooLong = false;
    ToolResult result = pump(
        command, runFlag,
        [&](const QString& chunk) {
            if (maxOutput > 0 && collected.size() + chunk.size() > maxOutput) {
                collected += chunk.left(maxOutput - collected.size());
                tooLong = true;
                return false;
            }
            collected += chunk;
            return true;
        },
        timeLimitMs);
    if (tooLong) {
        // What the tool printed past the bound is not the caller's.
        result.code = ToolResult::Code::TooLong;
        result.output = collected;
        return result;
    }
    result.output.prepend(collected);
    return result;
}

ToolResult
runToolChunks(const ToolCommand& command, const std::function<void(const QString& chunk)>& onChunk, RunFlag* runFlag)
{
    return pump(command, runFlag, [&](const QString& chunk) {
        if (onChunk)
            onChunk(chunk);
        return true;
    });
}

QString runTool(const ToolCommand& command, int timeLimitMs)
{
    return runToolResult(command, nullptr, 0, timeLimitMs).output;
}

ToolResult runToolChunks(const ToolCommand& command,
                         RunFlag& runFlag,
                         const std::function<void(const QByteArray& chunk)>& onChunk,
                         int graceMs)
{
    return pumpBytes(command, &runFlag, qMax(0, graceMs), 0, [&](const QByteArray& bytes, bool ending) {
        if (!ending && onChunk)
            onChunk(bytes);
        return true;
    });
}

namespace {

void endChildren(const QString& nameFilter)
{
    if (ChildRegistry::signalChildren(nameFilter, SIGTERM) == 0)
        return;
    // Each child's own runner reaps it; wait for that, then kill whatever still runs.
    QDeadlineTimer grace(3000);
    while (ChildRegistry::count(nameFilter) > 0 && !grace.hasExpired())
        QThread::msleep(20);
    if (ChildRegistry::signalChildren(nameFilter, SIGKILL) == 0)
        return;
    QDeadlineTimer last(1000);
    while (ChildRegistry::count(nameFilter) > 0 && !last.hasExpired())
        QThread::msleep(20);
}

} // namespace

void killAllTools()
{
    endChildren(QString());
}

void closeDown()
{
    ChildRegistry::setRefusing(true);
    endChildren(QString());
}

void reopen()
{
    ChildRegistry::setRefusing(false);
}

void killToolsNamed(const QString& programName)
{
    if (!programName.isEmpty())
        endChildren(programName);
}

int runningToolCount()
{
    return ChildRegistry::count();
}

} // namespace ToolRunner
