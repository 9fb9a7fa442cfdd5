#include "tools/RecordJob.h"

#include "base/AppPaths.h"
#include "base/Texts.h"

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
}

RecordJob::~RecordJob()
{
    stop();
    if (m_worker.joinable())
        m_worker.join();
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
    QStringList arguments{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner")};
    arguments << RecordSources::inputArguments(sources);
    if (maxSeconds > 0)
        arguments << QStringLiteral("-t") << QString::number(maxSeconds);
    arguments << QStringLiteral("-y") << path;
    return {QStringLiteral("ffmpeg"), arguments};
}

bool RecordJob::start(const QList<AudioSource>& sources, Format format, int maxSeconds)
{
    // One start wins, also when two come at once: a job records once.
    if (m_started.exchange(true))
        return false;
    const QString path = recordingPath(m_clock.secondsSinceEpoch(), format);
    {
        QMutexLocker lock(&m_mutex);
        m_path = path;
    }
    if (sources.isEmpty()) {
        finish({Result::Code::NoDevice, path, tx(u"No devices for audio recording!"), 0});
        return false;
    }
    if (ToolRunner::findTool(QStringLiteral("ffmpeg")).isEmpty()) {
        finish({Result::Code::NotStarted, path, QStringLiteral("ffmpeg is not installed"), 0});
        return false;
    }
    // The folder is made at start-up, but the user may have removed it since.
    if (!QDir().mkpath(QFileInfo(path).path())) {
        finish({Result::Code::NotStarted, path, QStringLiteral("cannot create ") + QFileInfo(path).path(), 0});
        return false;
    }
    if (m_freeSpace && belowFloor(m_freeSpace(QFileInfo(path).path()))) {
        finish({Result::Code::NotStarted, path, lowSpaceText(), 0});
        return false;
    }
    m_runFlag.store(true);
    {
        QMutexLocker lock(&m_mutex);
        m_elapsed.start();
    }
    setState(State::Recording);
    m_worker = std::thread([this, command = command(sources, path, maxSeconds)] { run(command); });
    return true;
}

void RecordJob::stop()
{
    // Only a recording job stops; one that finished meanwhile keeps its state.
    State recording = State::Recording;
    if (m_state.compare_exchange_strong(recording, State::Stopping)) {
        m_runFlag.store(false);
        emit stateChanged(State::Stopping);
    }
}

RecordJob::Result RecordJob::wait()
{
    if (m_worker.joinable())
        m_worker.join();
    QMutexLocker lock(&m_mutex);
    return m_result;
}

int RecordJob::elapsedSeconds() const
{
    QMutexLocker lock(&m_mutex);
    return m_elapsed.isValid() ? static_cast<int>(m_elapsed.elapsed() / 1000) : m_result.seconds;
}

QString RecordJob::path() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

void RecordJob::setState(State state)
{
    m_state.store(state);
    emit stateChanged(state);
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

void RecordJob::run(const ToolCommand& command)
{
    std::atomic<bool> done{false};
    std::thread watcher([this, &done] { watchSpace(QFileInfo(path()).path(), done); });
    const QString output = ToolRunner::runToolElapsed(command, m_runFlag,
                                                      [this](const QString& caption) { emit elapsedChanged(caption); });
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
        result.error = ToolRunner::lastLine(output);
        if (result.error.isEmpty())
            result.error = QStringLiteral("ffmpeg recorded nothing");
    }
    finish(result);
}

QString RecordJob::lowSpaceText()
{
    return QStringLiteral("The recording stopped: the disk is almost full.");
}

void RecordJob::finish(const Result& result)
{
    {
        QMutexLocker lock(&m_mutex);
        m_result = result;
        m_elapsed.invalidate(); // the time stays where the recording ended
    }
    setState(State::Finished);
    emit finished(result);
}
