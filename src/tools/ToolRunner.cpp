#include "tools/ToolRunner.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "tools/ChildProcess.h"
#include "tools/ChildRegistry.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <climits>
#include <csignal>

namespace ToolRunner {
namespace {

// How often a job with a run flag looks at it while the tool prints nothing.
constexpr int FlagPollMs = 100;

// What a tool asked to end may still print into the result (ffmpeg's closing report is a few
// kilobytes); the rest is read and dropped.
constexpr qsizetype MaxOutputAfterStop = 1024 * 1024;

const QLatin1String kTimeKey("time=");

// Integer value of the text's start: leading blanks, an optional sign, then digits; 0 without
// digits. Large values are clamped instead of overflowing.
int leadingInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10 + (text.at(i).unicode() - u'0');
        if (value > INT_MAX)
            value = INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

// Steps 1 to 3 of the "time=" rule: consumes up to and including the first "time=" and gives
// the stamp text (up to the first "."; empty without one).
bool takeStamp(QString& collected, QString& stamp)
{
    const qsizetype at = collected.indexOf(kTimeKey);
    if (at < 0)
        return false;
    collected.remove(0, at + kTimeKey.size());
    const qsizetype dot = collected.indexOf(QLatin1Char('.'));
    stamp = dot < 0 ? QString() : collected.left(dot);
    return true;
}

// True when the first "time=" in the text is followed by its end ("."), so that reading it
// now gives the whole stamp. A stamp split across two reads waits for the rest instead of
// being read as a partial (usually zero) value.
bool hasCompleteStamp(const QString& collected)
{
    const qsizetype at = collected.indexOf(kTimeKey);
    return at >= 0 && collected.indexOf(QLatin1Char('.'), at + kTimeKey.size()) >= 0;
}

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

QString runToolWithPercent(const ToolCommand& command,
                           int totalSeconds,
                           const QString& suffix,
                           const QString& progressWord,
                           const std::function<void(const QString& text)>& setStatus,
                           const std::function<void(int percent)>& onPercent,
                           bool requireSuffix,
                           RunFlag* runFlag)
{
    const bool evaluate = totalSeconds > 0 && (!requireSuffix || !suffix.isEmpty());
    QString collected;
    const ToolResult result = pump(command, runFlag, [&](const QString& chunk) {
        collected += chunk;
        if (!evaluate)
            return true;
        bool found = false;
        int position = 0;
        while (hasCompleteStamp(collected))
            position = ffmpegTimeToSeconds(collected, &found);
        if (!found || position > totalSeconds)
            return true;
        const int percent = static_cast<int>(qint64(position) * 100 / totalSeconds);
        if (setStatus)
            setStatus(QString::number(percent) + QLatin1Char('%') + progressWord + suffix);
        if (onPercent)
            onPercent(percent);
        return true;
    });
    return collected + result.output;
}

QString runToolElapsed(const ToolCommand& command,
                       RunFlag& runFlag,
                       const std::function<void(const QString& text)>& setWindowText)
{
    QString collected;
    const ToolResult result = pump(command, &runFlag, [&](const QString& chunk) {
        collected += chunk;
        QString shown;
        QString stamp;
        while (hasCompleteStamp(collected) && takeStamp(collected, stamp)) {
            if (stamp.contains(QLatin1Char(':')))
                shown = stamp.startsWith(QLatin1String("00:")) ? stamp.mid(3) : stamp;
        }
        if (!shown.isEmpty() && setWindowText)
            setWindowText(shown + QLatin1String(" - Recording..."));
        return true;
    });
    return collected + result.output;
}

void runLinkTool(const ToolCommand& command, RunFlag& runFlag, const LinkToolSink& sink)
{
    pump(command, &runFlag, [&](QString chunk) {
        if (chunk.isEmpty())
            return true;
        // The tool's own name is not shown to the user.
        chunk.replace(QLatin1String("youtube-dl"), QLatin1String("Trawlix"));
        chunk.replace(QLatin1String("yt-dlp"), QLatin1String("Trawlix"));
        if (sink.showStatus)
            sink.showStatus(chunk);
        const qsizetype percentAt = chunk.indexOf(QLatin1Char('%'));
        if (!chunk.contains(QLatin1String("[download]")) || percentAt < 0)
            return true;
        QString progress = chunk.left(percentAt + 1);
        progress.remove(QLatin1String("[download]"));
        if (sink.setWindowText)
            sink.setWindowText(progress.trimmed() + tx(u"..Downloading"));
        return true;
    });
    if (sink.finished)
        sink.finished(0);
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

QString lastLine(const QString& output)
{
    const QStringList lines =
        output.right(8192).split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1String("size=")) && !line.startsWith(QLatin1String("video:")))
            return line.left(300);
    }
    return {};
}

int ffmpegTimeToSeconds(QString& collected, bool* found)
{
    QString stamp;
    const bool present = takeStamp(collected, stamp);
    if (found)
        *found = present;
    if (!present)
        return 0;
    if (stamp.contains(QLatin1Char(':'))) {
        const int hours = leadingInteger(QStringView(stamp).left(2));
        const int minutes = leadingInteger(QStringView(stamp).mid(3, 2));
        const int seconds = leadingInteger(QStringView(stamp).right(2));
        return hours * 3600 + minutes * 60 + seconds;
    }
    return leadingInteger(stamp);
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
