#include "tools/LinkDownloadJob.h"

#include "base/AppPaths.h"
#include "tools/ToolRunner.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QHash>

namespace {

// The job marks of this run and the pages they downloaded, for the importer. Bounded: the
// oldest marks go first (their files were imported long ago).
constexpr int MaxRememberedJobs = 1000;

struct JobPages
{
    QMutex mutex;
    QHash<QString, QString> pageOfMark;
    QStringList order;
    QString lastAddress;
    quint32 counter = 0;
};

JobPages& jobPages()
{
    static JobPages pages;
    return pages;
}

QString newMark(const QString& address)
{
    JobPages& pages = jobPages();
    QMutexLocker lock(&pages.mutex);
    const QString mark = QString::number(QDateTime::currentMSecsSinceEpoch(), 36) + QLatin1Char('j') +
                         QString::number(++pages.counter, 36);
    pages.pageOfMark.insert(mark, address);
    pages.order << mark;
    while (pages.order.size() > MaxRememberedJobs)
        pages.pageOfMark.remove(pages.order.takeFirst());
    pages.lastAddress = address;
    return mark;
}

// The mark in "Title~MARK.ext": between the last "~" and the last ".".
QString markOf(const QString& fileName)
{
    const qsizetype tilde = fileName.lastIndexOf(QLatin1Char('~'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (tilde < 0 || dot <= tilde)
        return {};
    return fileName.mid(tilde + 1, dot - tilde - 1);
}

// Progress reaches the window at most this often; the last state always does.
constexpr qint64 ProgressIntervalMs = 100;

} // namespace

LinkDownloadJob::LinkDownloadJob(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<LinkDownloadJob::Result>("LinkDownloadJob::Result");
    qRegisterMetaType<LinkDownloadJob::State>("LinkDownloadJob::State");
    m_job.onStateChanged = [this](State state) { emit stateChanged(state); };
}

LinkDownloadJob::~LinkDownloadJob()
{
    m_job.shutdown();
}

QString LinkDownloadJob::pageOfFile(const QString& fileName)
{
    const QString mark = markOf(fileName);
    if (mark.isEmpty())
        return {};
    JobPages& pages = jobPages();
    QMutexLocker lock(&pages.mutex);
    return pages.pageOfMark.value(mark);
}

QString LinkDownloadJob::lastAddress()
{
    JobPages& pages = jobPages();
    QMutexLocker lock(&pages.mutex);
    return pages.lastAddress;
}

QString LinkDownloadJob::toolMissingText()
{
    return QStringLiteral("yt-dlp is not installed: install yt-dlp (the Debian package \"yt-dlp\": "
                          "apt-get install yt-dlp), or place it in the data folder");
}

bool LinkDownloadJob::start(const LinkCommand::Request& request)
{
    if (!m_job.claim())
        return false;
    QString problem = LinkCommand::addressProblem(request.address);
    if (problem.isEmpty() && !request.playlistItems.isEmpty() && !LinkCommand::validIndexes(request.playlistItems))
        problem = QStringLiteral("The playlist items must be numbers and ranges such as 1,3-5");
    if (!problem.isEmpty())
        return refuse({Result::Code::BadRequest, problem, {}});
    if (ToolRunner::findTool(QStringLiteral("yt-dlp")).isEmpty())
        return refuse({Result::Code::ToolMissing, toolMissingText(), {}});
    const QString mark = newMark(request.address.trimmed());
    const QString downloads = AppPaths::folder(AppPaths::Folder::TempDownloads);
    QDir().mkpath(downloads);
    // A directory: the importer, which takes only files, never sees what is unfinished.
    const QString partialDir = downloads + QStringLiteral(".partial-") + mark;
    const ToolCommand command = LinkCommand::build(request, downloads, partialDir, mark);
    {
        QMutexLocker lock(&m_mutex);
        m_command = command;
        m_mark = mark;
    }
    m_job.launch([this, command, partialDir] { return run(command, partialDir); },
                 [this](const Result& result) { emit finished(result); });
    return true;
}

bool LinkDownloadJob::refuse(const Result& result)
{
    m_job.finish(result);
    emit finished(result);
    return false;
}

void LinkDownloadJob::abort()
{
    // Only a running job stops; one that finished meanwhile keeps its state.
    m_job.stop();
}

LinkDownloadJob::Result LinkDownloadJob::wait()
{
    return m_job.wait();
}

ToolCommand LinkDownloadJob::command() const
{
    QMutexLocker lock(&m_mutex);
    return m_command;
}

QString LinkDownloadJob::mark() const
{
    QMutexLocker lock(&m_mutex);
    return m_mark;
}

QString LinkDownloadJob::progressText() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress.progressText();
}

QString LinkDownloadJob::caption() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress.caption();
}

QString LinkDownloadJob::statusText() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress.statusText();
}

QStringList LinkDownloadJob::finishedFiles() const
{
    const QString tail = QLatin1Char('~') + mark() + QLatin1Char('.');
    QStringList mine;
    const QStringList names =
        QDir(AppPaths::folder(AppPaths::Folder::TempDownloads)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        if (name.contains(tail))
            mine << name;
    }
    return mine;
}

LinkDownloadJob::Result LinkDownloadJob::run(const ToolCommand& command, const QString& partialDir)
{
    QDeadlineTimer nextShow(0);
    const auto show = [this, &nextShow](bool force) {
        if (!force && !nextShow.hasExpired())
            return;
        nextShow.setRemainingTime(ProgressIntervalMs);
        QString caption;
        QString status;
        {
            QMutexLocker lock(&m_mutex);
            caption = m_progress.caption();
            status = m_progress.statusText();
        }
        emit progressChanged(caption, status);
    };
    const ToolRunner::ToolResult tool = ToolRunner::runToolChunks(
        command, m_job.runFlag(),
        [&](const QByteArray& chunk) {
            bool changed = false;
            {
                QMutexLocker lock(&m_mutex);
                changed = m_progress.feed(chunk);
            }
            if (changed)
                show(false);
        },
        AbortGraceMs);
    QString error;
    bool toolFinishedFiles = false;
    {
        QMutexLocker lock(&m_mutex);
        m_progress.finish();
        error = m_progress.errorLine();
        toolFinishedFiles = m_progress.anyFileFinished();
    }
    show(true);
    // Whatever is unfinished goes: ".part", ".ytdl", fragments and the formats before a merge.
    QDir(partialDir).removeRecursively();

    Result result;
    // The importer may have taken the files already; the tool's own lines count as well.
    result.files = finishedFiles();
    const bool gotFiles = !result.files.isEmpty() || toolFinishedFiles;
    const bool aborted = !m_job.runFlag().load() || tool.code == ToolRunner::ToolResult::Code::Stopped;
    if (aborted) {
        result.code = Result::Code::Aborted;
        result.error = QStringLiteral("Aborted");
    } else if (tool.code == ToolRunner::ToolResult::Code::NotStarted) {
        result.code = Result::Code::ToolMissing;
        result.error = toolMissingText();
    } else if (tool.code == ToolRunner::ToolResult::Code::Crashed) {
        result.code = Result::Code::Crashed;
        result.error = QStringLiteral("yt-dlp ended unexpectedly");
        if (!error.isEmpty())
            result.error += QStringLiteral(": ") + error;
    } else if (tool.exitCode == 0 && gotFiles) {
        result.code = Result::Code::Downloaded;
    } else {
        result.code = gotFiles ? Result::Code::Partly : Result::Code::Failed;
        result.error = !error.isEmpty() ? error
                       : tool.exitCode == 0
                           ? QStringLiteral("Nothing was downloaded")
                           : QStringLiteral("yt-dlp failed with exit code ") + QString::number(tool.exitCode);
    }
    return result;
}
