#include "tools/CutJob.h"

#include "base/AppPaths.h"
#include "base/OutputName.h"
#include "base/Texts.h"
#include "tools/CutSpan.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

// A fragment shorter than its span by more than this lost its end (a full disk, a broken
// source): the last frame of a copy may end a frame or an audio packet early.
constexpr qint64 ShortEndToleranceMs = 250;

// The scratch name a fragment is written under: hidden, beside the final file, with the same
// extension so that ffmpeg picks the same container.
QString scratchPath(const QString& finalPath)
{
    const QFileInfo info(finalPath);
    return info.absolutePath() + QStringLiteral("/.cutting-") + QString::number(getpid()) + QLatin1Char('-') +
           info.fileName();
}

// The path itself when nothing is there, else the first free "<stem> (N).<ext>".
QString freeName(const QString& path)
{
    const QFileInfo info(path);
    const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    const QString extension = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString candidate = path;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + QStringLiteral(" (%1)").arg(n) + extension;
    return candidate;
}

} // namespace

CutJob::CutJob(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<CutJob::Result>("CutJob::Result");
}

CutJob::~CutJob()
{
    stop();
    wait();
}

QString CutJob::outputName(const QString& title, const QString& format)
{
    QString extension = format.toLower();
    extension.removeIf([](QChar c) { return !(c.isLetterOrNumber() && c.unicode() < 0x80); });
    extension = QLatin1Char('.') + extension.left(16);
    const QString prefix = tx(u"Fragment of ");
    // The whole name, with a " (12)" that keeps an earlier fragment and the scratch name's
    // ".cutting-<pid>-" in front, must fit the file system's 255 bytes.
    const qsizetype reserved = prefix.toUtf8().size() + extension.size() + 8 + 32;
    return prefix + OutputName::clean(title, reserved) + extension;
}

ToolCommand CutJob::command(const QString& source, qint64 cutStartMs, qint64 lengthMs, const QString& output)
{
    // "-ss" before "-i" seeks the input to the keyframe; "-t" there too bounds what is read.
    // make_zero shifts every stream by the same amount, so audio keeps its offset to video.
    return {QStringLiteral("ffmpeg"),
            {QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"), QStringLiteral("-y"), QStringLiteral("-ss"),
             CutSpan::secondsText(cutStartMs), QStringLiteral("-t"), CutSpan::secondsText(lengthMs),
             QStringLiteral("-i"), source, QStringLiteral("-vcodec"), QStringLiteral("copy"), QStringLiteral("-acodec"),
             QStringLiteral("copy"), QStringLiteral("-avoid_negative_ts"), QStringLiteral("make_zero"), output}};
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
    const QString scratch = scratchPath(result.file);
    const QString name = target.fileName();
    const int totalSeconds = static_cast<int>(result.lengthMs / 1000);
    const QString output =
        ToolRunner::runToolWithPercent(command(request.source, result.cutStartMs, result.lengthMs, scratch),
                                       totalSeconds, name, tx(u"..Cutting: "), status, {}, true, runFlag);

    // The fragment counts only when ffprobe reads it back and it reaches the chosen end.
    bool stopped = runFlag && !runFlag->load();
    const KeyframeProbe written = stopped ? KeyframeProbe{} : KeyframeProbe::probe(scratch, 0, runFlag);
    stopped = stopped || written.status == KeyframeProbe::Status::Stopped;
    const qint64 needed = result.lengthMs - ShortEndToleranceMs;
    if (stopped || !QFileInfo(scratch).isFile() || !written.readable || written.durationMs < needed) {
        QFile::remove(scratch);
        result.code = Result::Code::Failed;
        result.error = ToolRunner::lastLine(output);
        if (stopped)
            result.error = QStringLiteral("the cut was stopped");
        else if (result.error.isEmpty())
            result.error = QStringLiteral("ffmpeg wrote no fragment");
        return result;
    }
    // A fragment cut earlier from the same file is kept: the new one takes the next free name.
    result.file = freeName(result.file);
    if (!QFile::rename(scratch, result.file)) {
        QFile::remove(scratch);
        result.code = Result::Code::OutputFolder;
        result.error = tx(u"The output folder cannot be written: ") + target.absolutePath();
    }
    return result;
}

bool CutJob::start(const Request& request)
{
    if (m_running.exchange(true))
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_runFlag.store(true);
    m_worker = std::thread([this, request] {
        const Result result = run(
            request, [this](const QString& status) { emit statusChanged(status); }, &m_runFlag);
        {
            QMutexLocker lock(&m_resultMutex);
            m_result = result;
        }
        m_running.store(false);
        emit finished(result);
    });
    return true;
}

void CutJob::stop()
{
    m_runFlag.store(false);
}

CutJob::Result CutJob::wait()
{
    if (m_worker.joinable())
        m_worker.join();
    QMutexLocker lock(&m_resultMutex);
    return m_result;
}
