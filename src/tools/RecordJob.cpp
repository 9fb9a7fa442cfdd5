#include "tools/RecordJob.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "tools/FfmpegProgress.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <sys/statvfs.h>

namespace {

// Bytes a file needs beyond its header before it holds any sound.
constexpr qint64 MinRecordingBytes = 1024;

} // namespace

bool RecordJob::belowFloor(const DiskSpace& space)
{
    if (space.available < 0)
        return false;
    qint64 floor = FloorBytes;
    if (space.total > 0)
        floor = qMin(floor, space.total / 100 * FloorPercent);
    return space.available < floor;
}

RecordJob::DiskSpace RecordJob::freeSpace(const QString& folder)
{
    struct statvfs info
    {
    };
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return {};
    return {static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize),
            static_cast<qint64>(info.f_blocks) * static_cast<qint64>(info.f_frsize)};
}

RecordJob::RecordJob(const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
{
    qRegisterMetaType<RecordJob::Result>("RecordJob::Result");
    qRegisterMetaType<RecordJob::State>("RecordJob::State");
    m_job.onStateChanged = [this](State state) { emit stateChanged(state); };
}

RecordJob::~RecordJob()
{
    m_job.shutdown();
}

QString RecordJob::extension(Format format)
{
    return format == Format::Wav ? QStringLiteral("wav") : QStringLiteral("mp3");
}

QString RecordJob::recordingPath(qint64 startSeconds, Format format)
{
    return AppPaths::folder(AppPaths::Folder::TempRecords) + QString::number(startSeconds) + QLatin1Char('.') +
           extension(format);
}

ToolCommand RecordJob::command(const QList<AudioSource>& sources, const QString& path, int maxSeconds)
{
    QStringList arguments = FfmpegProgress::arguments();
    arguments << RecordSources::inputArguments(sources);
    arguments << QStringLiteral("-af") << FfmpegProgress::levelFilter();
    if (maxSeconds > 0)
        arguments << QStringLiteral("-t") << QString::number(maxSeconds);
    arguments << QStringLiteral("-y") << path;
    return {QStringLiteral("ffmpeg"), arguments};
}

QString RecordJob::caption(qint64 positionUs)
{
    const qint64 seconds = qMax<qint64>(0, positionUs / 1000000);
    const auto two = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    QString shown = two(seconds / 60 % 60) + QLatin1Char(':') + two(seconds % 60);
    if (seconds >= 3600)
        shown.prepend(two(seconds / 3600) + QLatin1Char(':'));
    return shown + tx(u" - Recording...");
}

bool RecordJob::start(const QList<AudioSource>& sources, Format format, int maxSeconds)
{
    // One start wins, also when two come at once: a job records once.
    if (!m_job.claim())
        return false;
    const QString path = recordingPath(m_clock.secondsSinceEpoch(), format);
    {
        QMutexLocker lock(&m_mutex);
        m_path = path;
    }
    if (sources.isEmpty())
        return refuse({Result::Code::NoDevice, path, tx(u"No devices for audio recording!"), 0});
    if (ToolRunner::findTool(QStringLiteral("ffmpeg")).isEmpty())
        return refuse({Result::Code::NotStarted, path, QStringLiteral("ffmpeg is not installed"), 0});
    // The folder is made at start-up, but the user may have removed it since.
    if (!QDir().mkpath(QFileInfo(path).path()))
        return refuse({Result::Code::NotStarted, path, QStringLiteral("cannot create ") + QFileInfo(path).path(), 0});
    if (m_freeSpace && belowFloor(m_freeSpace(QFileInfo(path).path())))
        return refuse({Result::Code::NotStarted, path, lowSpaceText(), 0});
    {
        QMutexLocker lock(&m_mutex);
        m_elapsed.start();
    }
    m_job.launch([this, command = command(sources, path, maxSeconds)] { return run(command); },
                 [this](const Result& result) { emit finished(result); });
    return true;
}

bool RecordJob::refuse(const Result& result)
{
    m_job.finish(result);
    emit finished(result);
    return false;
}

void RecordJob::stop()
{
    // Only a recording job stops; one that finished meanwhile keeps its state.
    m_job.stop();
}

RecordJob::Result RecordJob::wait()
{
    return m_job.wait();
}

int RecordJob::elapsedSeconds() const
{
    // The outcome is stored before the state says Finished.
    if (m_job.running()) {
        QMutexLocker lock(&m_mutex);
        if (m_elapsed.isValid())
            return static_cast<int>(m_elapsed.elapsed() / 1000);
    }
    return m_job.result().seconds;
}

QString RecordJob::path() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

void RecordJob::watchSpace(const QString& folder, std::atomic<bool>& done)
{
    while (!done.load()) {
        // Sleeps in short steps, so the end of the recording is not held up by a whole one.
        for (int waited = 0; waited < SpaceCheckMs && !done.load(); waited += 50)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done.load() || !m_freeSpace)
            return;
        if (belowFloor(m_freeSpace(folder))) {
            m_lowSpace.store(true);
            stop();
            return;
        }
    }
}

RecordJob::Result RecordJob::run(const ToolCommand& command)
{
    std::atomic<bool> done{false};
    std::thread watcher([this, &done] { watchSpace(QFileInfo(path()).path(), done); });
    FfmpegProgress progress;
    qint64 shownSeconds = -1;
    int shownLevels = 0;
    const ToolRunner::ToolResult tool = ToolRunner::runToolChunks(
        command,
        [&](const QString& chunk) {
            progress.feed(chunk);
            const qint64 position = progress.positionUs();
            if (position >= 0 && position / 1000000 != shownSeconds) {
                shownSeconds = position / 1000000;
                emit elapsedChanged(caption(position));
            }
            if (progress.levels() != shownLevels) {
                shownLevels = progress.levels();
                emit levelChanged(qMax<qint64>(0, position), progress.peakDb());
            }
        },
        &m_job.runFlag());
    progress.feed(tool.output.right(FfmpegProgress::MaxLineLength));
    progress.finish();
    done.store(true);
    watcher.join();
    Result result{Result::Code::Recorded, path(), {}, elapsedSeconds()};
    if (m_lowSpace.load()) {
        result.ending = Result::Ending::LowDiskSpace;
        result.error = lowSpaceText();
    }
    const QFileInfo file(result.file);
    if (!file.isFile() || file.size() < MinRecordingBytes) {
        result.code = Result::Code::Failed;
        result.error = progress.lastLogLine();
        if (result.error.isEmpty())
            result.error = QStringLiteral("ffmpeg recorded nothing");
    }
    return result;
}

QString RecordJob::lowSpaceText()
{
    return QStringLiteral("The recording stopped: the disk is almost full.");
}
