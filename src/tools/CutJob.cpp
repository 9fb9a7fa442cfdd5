#include "tools/CutJob.h"

#include "base/AppPaths.h"
#include "base/OutputName.h"
#include "base/Texts.h"
#include "tools/CutSpan.h"
#include "tools/FfmpegProgress.h"
#include "tools/ScratchFile.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A fragment shorter than its span by more than this lost its end (a full disk, a broken
// source): the last frame of a copy may end a frame or an audio packet early.
constexpr qint64 ShortEndToleranceMs = 250;

} // namespace

CutJob::CutJob(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<CutJob::Result>("CutJob::Result");
}

CutJob::~CutJob()
{
    m_job.shutdown();
}

QString CutJob::caption(int percent, const QString& outputName)
{
    return QString::number(percent) + QLatin1Char('%') + tx(u"..Cutting: ") + outputName;
}

QString CutJob::outputName(const QString& title, const QString& format)
{
    QString extension = format.toLower();
    extension.removeIf([](QChar c) { return !(c.isLetterOrNumber() && c.unicode() < 0x80); });
    extension = QLatin1Char('.') + extension.left(16);
    const QString prefix = tx(u"Fragment of ");
    // The whole name, with a " (12)" that keeps an earlier fragment and the scratch name's
    // ".cutting-<tag>-" in front, must fit the file system's 255 bytes.
    const qsizetype reserved = prefix.toUtf8().size() + extension.size() + 8 + 32;
    return prefix + OutputName::clean(title, reserved) + extension;
}

ToolCommand CutJob::command(const QString& source, qint64 cutStartMs, qint64 lengthMs, const QString& output)
{
    // "-ss" before "-i" seeks the input to the keyframe; "-t" there too bounds what is read.
    // make_zero shifts every stream by the same amount, so audio keeps its offset to video.
    return {QStringLiteral("ffmpeg"),
            FfmpegProgress::arguments() +
                QStringList{QStringLiteral("-y"), QStringLiteral("-ss"), CutSpan::secondsText(cutStartMs),
                            QStringLiteral("-t"), CutSpan::secondsText(lengthMs), QStringLiteral("-i"), source,
                            QStringLiteral("-vcodec"), QStringLiteral("copy"), QStringLiteral("-acodec"),
                            QStringLiteral("copy"), QStringLiteral("-avoid_negative_ts"), QStringLiteral("make_zero"),
                            output}};
}

CutJob::Result CutJob::plan(const Request& request, const KeyframeProbe& probe)
{
    Result result;
    const QFileInfo source(request.source);
    const QString title = request.title.isEmpty() ? source.completeBaseName() : request.title;
    const QString format = request.format.isEmpty() ? source.suffix() : request.format;
    const QString folder = request.outputDir.isEmpty() ? AppPaths::documentsDir() : request.outputDir;
    result.file = QDir(folder).absoluteFilePath(outputName(title, format));
    if (request.fromMs < 0 || request.toMs <= request.fromMs) {
        result.code = Result::Code::EmptySpan;
        result.error = tx(u"The fragment must start before it ends.");
        return result;
    }
    if (probe.status == KeyframeProbe::Status::Stopped) {
        result.code = Result::Code::Failed;
        result.error = QStringLiteral("the cut was stopped");
        return result;
    }
    if (!probe.readable) {
        result.code = Result::Code::Unreadable;
        result.error = tx(u"This file cannot be read as media: ") + request.source;
        if (probe.status == KeyframeProbe::Status::TooLong)
            result.error += QStringLiteral(" (") + probe.failureText() + QLatin1Char(')');
        return result;
    }
    if (probe.durationMs >= 0 && request.toMs > probe.durationMs + EndToleranceMs) {
        result.code = Result::Code::EndPastDuration;
        result.error = tx(u"The fragment ends after the end of the file, which is ") +
                       CutSpan::displayTimeMs(probe.durationMs) + QLatin1Char('.');
        return result;
    }
    result.code = Result::Code::Cut;
    result.cutStartMs = probe.cutStartMs(request.fromMs);
    result.fromKeyframe = probe.hasVideo;
    result.lengthMs = request.toMs - result.cutStartMs;
    return result;
}

CutJob::Result CutJob::run(const Request& request,
                           const std::function<void(const QString& status)>& status,
                           ToolRunner::RunFlag* runFlag)
{
    if (ToolRunner::findTool(QStringLiteral("ffmpeg")).isEmpty() ||
        ToolRunner::findTool(QStringLiteral("ffprobe")).isEmpty()) {
        Result missing;
        missing.code = Result::Code::Unreadable;
        missing.error = QStringLiteral("ffmpeg is not installed");
        return missing;
    }
    const KeyframeProbe probe =
        request.toMs > request.fromMs ? KeyframeProbe::probe(request.source, request.fromMs, runFlag) : KeyframeProbe{};
    Result result = plan(request, probe);
    if (result.code != Result::Code::Cut)
        return result;

    const QFileInfo target(result.file);
    if (!QDir().mkpath(target.absolutePath()) || !QFileInfo(target.absolutePath()).isWritable()) {
        result.code = Result::Code::OutputFolder;
        result.error = tx(u"The output folder cannot be written: ") + target.absolutePath();
        return result;
    }
    // Removed by its destructor unless moved in.
    ScratchFile scratchFile(result.file, ScratchFile::Kind::Cutting);
    if (!scratchFile.valid()) {
        result.code = Result::Code::OutputFolder;
        result.error = tx(u"The output folder cannot be written: ") + target.absolutePath();
        return result;
    }
    const QString scratch = scratchFile.path();
    const QString name = target.fileName();
    const int totalSeconds = static_cast<int>(result.lengthMs / 1000);
    FfmpegProgress progress;
    int shown = -1;
    const ToolRunner::ToolResult tool = ToolRunner::runToolChunks(
        command(request.source, result.cutStartMs, result.lengthMs, scratch),
        [&](const QString& chunk) {
            progress.feed(chunk);
            const int percent = progress.percent(totalSeconds);
            if (percent >= 0 && percent != shown && status) {
                shown = percent;
                status(caption(percent, name));
            }
        },
        runFlag);
    progress.feed(tool.output.right(FfmpegProgress::MaxLineLength));
    progress.finish();

    // The fragment counts only when ffprobe reads it back and it reaches the chosen end.
    bool stopped = runFlag && !runFlag->load();
    const KeyframeProbe written = stopped ? KeyframeProbe{} : KeyframeProbe::probe(scratch, 0, runFlag);
    stopped = stopped || written.status == KeyframeProbe::Status::Stopped;
    const qint64 needed = result.lengthMs - ShortEndToleranceMs;
    if (stopped || !QFileInfo(scratch).isFile() || !written.readable || written.durationMs < needed) {
        result.code = Result::Code::Failed;
        result.error = progress.lastLogLine();
        if (stopped)
            result.error = QStringLiteral("the cut was stopped");
        else if (result.error.isEmpty())
            result.error = QStringLiteral("ffmpeg wrote no fragment");
        return result;
    }
    // A fragment cut earlier from the same file, or one that appeared meanwhile, is kept: the
    // new one takes the next free name.
    const QString moved = scratchFile.moveIn(result.file);
    if (moved.isEmpty()) {
        result.code = Result::Code::OutputFolder;
        result.error = tx(u"The output folder cannot be written: ") + target.absolutePath();
        return result;
    }
    result.file = moved;
    return result;
}

bool CutJob::start(const Request& request)
{
    if (!m_job.claim())
        return false;
    m_job.launch(
        [this, request] {
            return run(
                request, [this](const QString& status) { emit statusChanged(status); }, &m_job.runFlag());
        },
        [this](const Result& result) { emit finished(result); });
    return true;
}

void CutJob::stop()
{
    m_job.stop();
}

CutJob::Result CutJob::wait()
{
    return m_job.wait();
}
