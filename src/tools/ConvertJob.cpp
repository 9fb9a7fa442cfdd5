#include "tools/ConvertJob.h"

#include "base/OutputName.h"
#include "base/Texts.h"
#include "tools/ConvertCommand.h"
#include "tools/FfmpegProgress.h"
#include "tools/ScratchFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <sys/stat.h>

namespace {

// ffprobe's report of a media file is small; anything beyond this is not one.
constexpr qsizetype MaxProbeOutput = 1024 * 1024;

// The last line of the log before ffprobe's JSON.
QString lastLogLine(const QString& log)
{
    FfmpegProgress lines;
    lines.feed(log);
    lines.finish();
    return lines.lastLogLine();
}

bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

} // namespace

ConvertJob::ConvertJob(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<ConvertJob::FileResult>("ConvertJob::FileResult");
}

ConvertJob::~ConvertJob()
{
    cancel();
    m_job.shutdown();
}

bool ConvertJob::start(const QList<Item>& items, const Settings& settings)
{
    if (!m_job.claim())
        return false;
    m_job.launch([this, items, settings] { return run(items, settings); },
                 [this](const QList<FileResult>&) { emit finished(); });
    return true;
}

void ConvertJob::skip()
{
    m_fileFlag.store(false);
}

void ConvertJob::cancel()
{
    m_job.stop();
    m_fileFlag.store(false);
}

QList<ConvertJob::FileResult> ConvertJob::wait()
{
    return m_job.wait();
}

ConvertJob::Settings ConvertJob::defaults(const ProfileSet& set, int profile)
{
    Settings settings;
    if (profile < 0 || profile >= set.profiles.size())
        return settings;
    const auto choices = set.choices(profile, true);
    for (int i = 0; i < ParamListCount; ++i)
        settings.values.at(i) = choices.at(i).selectedText();
    settings.audioOnly = set.profiles.at(profile).audioOnly();
    return settings;
}

QString ConvertJob::outputPath(const QString& folder, const QString& title, const QString& extension)
{
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    // Room for the extension, a " (12)" that keeps an earlier output, and the scratch name.
    const qsizetype reserved = 1 + extension.toUtf8().size() + 8 + ScratchFile::NameOverheadBytes;
    return path + OutputName::clean(title, reserved) + QLatin1Char('.') + extension;
}

ConvertRequest ConvertJob::request(const Item& item, const Settings& settings, bool single, double frameRate)
{
    ConvertRequest request;
    request.source = item.source;
    request.output = item.output;
    request.values = settings.values;
    request.audioOnly = settings.audioOnly;
    request.effect = settings.audioOnly ? -1 : settings.effect;
    request.cut = single && settings.cut;
    request.cutFrom = settings.cutFrom;
    request.cutTo = settings.cutTo;
    request.sourceFrameRate = frameRate;
    return request;
}

ConvertJob::SourceFacts ConvertJob::probe(const QString& path, ToolRunner::RunFlag* runFlag)
{
    SourceFacts facts;
    if (!QFileInfo(path).isFile()) {
        facts.reason = path + QStringLiteral(": No such file or directory");
        return facts;
    }
    const ToolCommand command{QStringLiteral("ffprobe"),
                              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                               QStringLiteral("format=duration:stream=codec_type,avg_frame_rate"),
                               QStringLiteral("-of"), QStringLiteral("json"), path}};
    const ToolRunner::ToolResult result = ToolRunner::runToolResult(command, runFlag);
    if (result.code == ToolRunner::ToolResult::Code::NotStarted) {
        facts.reason = QStringLiteral("ffprobe is not installed");
        return facts;
    }
    const QString output = result.output.left(MaxProbeOutput);
    const qsizetype brace = output.indexOf(QLatin1Char('{'));
    const QString log = brace < 0 ? output : output.left(brace);
    const QJsonObject report = brace < 0 ? QJsonObject() : QJsonDocument::fromJson(output.mid(brace).toUtf8()).object();
    bool hasStream = false;
    for (const QJsonValue& stream : report.value(QLatin1String("streams")).toArray()) {
        const QString type = stream.toObject().value(QLatin1String("codec_type")).toString();
        if (type == QLatin1String("video")) {
            hasStream = true;
            if (facts.frameRate <= 0)
                facts.frameRate =
                    ConvertCommand::rateValue(stream.toObject().value(QLatin1String("avg_frame_rate")).toString());
        } else if (type == QLatin1String("audio")) {
            hasStream = true;
        }
    }
    facts.durationSeconds =
        report.value(QLatin1String("format")).toObject().value(QLatin1String("duration")).toString().toDouble();
    if (!std::isfinite(facts.durationSeconds) || facts.durationSeconds < 0)
        facts.durationSeconds = 0;
    if (!std::isfinite(facts.frameRate) || facts.frameRate < 0)
        facts.frameRate = 0;
    facts.media = result.code == ToolRunner::ToolResult::Code::Finished && result.exitCode == 0 && hasStream;
    if (!facts.media) {
        facts.reason = lastLogLine(log);
        if (facts.reason.isEmpty())
            facts.reason = path + QStringLiteral(": no video or audio stream");
    }
    return facts;
}

bool ConvertJob::effectsAvailable()
{
    static const bool available = [] {
        const ToolCommand command{QStringLiteral("ffmpeg"),
                                  {QStringLiteral("-hide_banner"), QStringLiteral("-filters")}};
        const QString output = ToolRunner::runTool(command).left(MaxProbeOutput);
        for (const QStringView line : QStringView(output).split(u'\n')) {
            const QList<QStringView> words = line.trimmed().split(u' ', Qt::SkipEmptyParts);
            if (words.size() >= 2 && words.at(1) == QLatin1String("frei0r"))
                return true;
        }
        return false;
    }();
    return available;
}

QString ConvertJob::caption(int percent, const QString& outputName)
{
    return tx(u"Converting ") + outputName + QStringLiteral(": ") + QString::number(percent) + QLatin1Char('%');
}

QList<ConvertJob::FileResult> ConvertJob::run(const QList<Item>& items, const Settings& settings)
{
    const bool single = items.size() == 1;
    QList<FileResult> results;
    for (qsizetype i = 0; i < items.size() && m_job.runFlag().load(); ++i) {
        emit fileStarted(static_cast<int>(i), QFileInfo(items.at(i).output).fileName());
        const FileResult result = convert(items.at(i), settings, single);
        results.append(result);
        emit fileFinished(static_cast<int>(i), result);
    }
    return results;
}

ConvertJob::FileResult ConvertJob::convert(const Item& item, const Settings& settings, bool single)
{
    FileResult result{FileResult::Code::Refused, item.output, {}};
    if (sameFile(item.source, item.output)) {
        result.error = QStringLiteral("%1: the output would replace the source").arg(item.output);
        return result;
    }
    const SourceFacts facts = probe(item.source, &m_job.runFlag());
    if (!m_job.runFlag().load()) {
        result.code = FileResult::Code::Cancelled;
        return result;
    }
    if (!facts.media) {
        result.error = facts.reason;
        return result;
    }
    // The output the user agreed to replace; any other file that takes the name meanwhile stays.
    struct stat confirmed
    {
    };
    bool replace = false;
    if (::lstat(QFile::encodeName(item.output).constData(), &confirmed) == 0) {
        if (!(confirmOverwrite && confirmOverwrite(item.output))) {
            result.code = FileResult::Code::Skipped;
            return result;
        }
        replace = true;
    }
    const QFileInfo outputInfo(item.output);
    if (!QDir().mkpath(outputInfo.absolutePath())) {
        result.code = FileResult::Code::Failed;
        result.error = QStringLiteral("%1: the folder cannot be created").arg(outputInfo.absolutePath());
        return result;
    }

    // Removed by its destructor on every path that does not move it in.
    ScratchFile scratch(item.output, ScratchFile::Kind::Converting);
    if (!scratch.valid()) {
        result.code = FileResult::Code::Failed;
        result.error = QStringLiteral("%1: the file cannot be written").arg(item.output);
        return result;
    }
    ConvertRequest request = ConvertJob::request(item, settings, single, facts.frameRate);
    request.output = scratch.path();
    int total = ConvertCommand::cutLength(request);
    if (total <= 0)
        total = item.durationSeconds > 0 ? item.durationSeconds : static_cast<int>(std::lround(facts.durationSeconds));

    FfmpegProgress progress;
    int shown = -1;
    const QString name = outputInfo.fileName();
    // cancel() clears the run flag before the file flag: one of the two stores below sees it.
    m_fileFlag.store(true);
    if (!m_job.runFlag().load())
        m_fileFlag.store(false);
    const ToolRunner::ToolResult run = ToolRunner::runToolChunks(
        ConvertCommand::build(request),
        [&](const QString& chunk) {
            progress.feed(chunk);
            const int percent = progress.percent(total);
            if (percent >= 0 && percent != shown) {
                shown = percent;
                emit progressChanged(percent, caption(percent, name));
            }
        },
        &m_fileFlag);
    progress.feed(run.output.right(FfmpegProgress::MaxLineLength));
    progress.finish();

    if (run.code == ToolRunner::ToolResult::Code::Stopped) {
        result.code = FileResult::Code::Cancelled;
        return result;
    }
    const QFileInfo written(scratch.path());
    if (run.code != ToolRunner::ToolResult::Code::Finished || run.exitCode != 0 || !written.isFile() ||
        written.size() == 0) {
        result.code = FileResult::Code::Failed;
        result.error = progress.lastLogLine();
        if (result.error.isEmpty()) {
            result.error = run.code == ToolRunner::ToolResult::Code::NotStarted
                               ? QStringLiteral("ffmpeg is not installed")
                               : QStringLiteral("ffmpeg ended with code %1").arg(run.exitCode);
        }
        return result;
    }
    // Never over a file that appeared meanwhile (another run's output, the user's): that one
    // keeps its name and this output takes the next free one.
    const QString moved = replace ? scratch.moveOver(item.output, confirmed) : scratch.moveIn(item.output);
    if (moved.isEmpty()) {
        result.code = FileResult::Code::Failed;
        result.error = QStringLiteral("%1: the file cannot be written").arg(item.output);
        return result;
    }
    result.output = moved;
    result.code = FileResult::Code::Converted;
    return result;
}
