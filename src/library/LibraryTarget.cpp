#include "library/LibraryTarget.h"

#include "base/AppPaths.h"
#include "base/MoveNoReplace.h"
#include "base/Trace.h"
#include "library/FileCopy.h"
#include "library/LibraryInserter.h"
#include "library/RegularFile.h"
#include "model/BaseNames.h"
#include "tools/FfmpegProgress.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace LibraryTarget {
namespace {

// Choosing a base and moving the file in are one step for every thread of the program; the
// reservation files make them one step for other Trawlix processes too.
std::mutex g_placing;

// fsync() of a file or folder; errno says why when false.
bool syncToDisk(const QByteArray& path, int flags)
{
    // Not blocked by a FIFO given where a file belongs; its fsync() then fails.
    const int fd = ::open(path.constData(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Bases held by other importers in a row before giving up; far more than two processes hold.
constexpr int kMaxReserved = 1000;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The claim of one base while it is checked and taken. Created exclusively, so of two
// importers that want the same base at the same moment only one gets it.
class Reservation final
{
public:
    explicit Reservation(qint64 seconds)
        : m_path(QFile::encodeName(reservationPath(seconds)))
    {
        m_fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        m_error = m_fd < 0 ? errno : 0;
    }
    ~Reservation()
    {
        if (m_fd < 0)
            return;
        ::unlink(m_path.constData());
        ::close(m_fd);
    }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    bool held() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
};

qint64 firstFree(qint64 seconds)
{
    while (BaseNames::takenOnDisk(QString::number(seconds)))
        ++seconds;
    return seconds;
}

// "Temp/", made when a caller's data folder lacks it: without it nothing can go in.
QString scratchFolder()
{
    const QString folder = AppPaths::folder(AppPaths::Folder::Temp);
    QDir().mkpath(folder);
    return folder;
}

Placement failed(const Job& job, Placement::Outcome outcome, const QString& why)
{
    trace(QStringLiteral("library: ") + job.source + QStringLiteral(" stays out of the library: ") + why);
    return {outcome, {}, why};
}

QString secondsText(qint64 centis)
{
    return QString::number(static_cast<double>(centis) / 100.0, 'f', 2) + QStringLiteral(" s");
}

} // namespace

Scratch::Scratch(const QString& extension)
{
    const QString folder = scratchFolder();
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        m_path = folder + QStringLiteral("staging-") + QString::number(QRandomGenerator::global()->generate64(), 36) +
                 extension;
        // 0666 less the umask, as any file the program makes: it becomes a library file.
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        m_path.clear();
}

Scratch::~Scratch()
{
    if (m_fd < 0)
        return;
    if (!m_released)
        ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

QString reservationPath(qint64 seconds)
{
    return scratchFolder() + QStringLiteral("reserved-") + QString::number(seconds);
}

QString moveIn(const QString& staged, qint64 seconds, const QString& extension)
{
    const QByteArray from = QFile::encodeName(staged);
    // The file's bytes reach the disk before its name moves into the library: what it was made
    // from (parts, segments, a recording) goes right after, and a power cut must not leave an
    // empty or short library file behind a source that is gone. Outside the lock: a long
    // write-back holds up no other placing.
    if (!syncToDisk(from, O_RDONLY)) {
        trace(QStringLiteral("library: cannot write ") + staged + QStringLiteral(" to the disk: ") + errorText(errno));
        return {};
    }
    std::lock_guard lock(g_placing);
    for (int held = 0; held < kMaxReserved;) {
        seconds = firstFree(seconds);
        const Reservation reservation(seconds);
        if (!reservation.held()) {
            if (reservation.error() != EEXIST) {
                trace(QStringLiteral("library: no reservation in Temp/: ") + errorText(reservation.error()));
                return {};
            }
            ++held; // another importer is placing a file under this base
            ++seconds;
            continue;
        }
        // Taken meanwhile by an importer that released its reservation already.
        if (BaseNames::takenOnDisk(QString::number(seconds))) {
            ++seconds;
            continue;
        }
        const QString target = AppPaths::folder(AppPaths::Folder::Videos) + QString::number(seconds) + extension;
        if (moveNoReplace(from, QFile::encodeName(target))) {
            // The new name itself: a file system that cannot sync a folder still has the file.
            syncToDisk(QFile::encodeName(AppPaths::folder(AppPaths::Folder::Videos)), O_RDONLY | O_DIRECTORY);
            return target;
        }
        // A program that does not reserve took the name: the file moves on to the next base.
        if (errno != EEXIST) {
            trace(QStringLiteral("library: cannot move ") + staged + QStringLiteral(" in: ") + errorText(errno));
            return {};
        }
        ++held;
        ++seconds;
    }
    return {};
}

namespace {

// The failure when a finished file must not go into the library: it is empty, or it does not
// last what its source does (expectedCentis, -1 for no check) within slackCentis.
std::optional<Placement> refused(const Job& job, const QString& path, qint64 expectedCentis, qint64 slackCentis)
{
    if (QFileInfo(path).size() <= 0)
        return failed(job, Placement::Outcome::Empty, QStringLiteral("the file is empty"));
    if (expectedCentis < 0)
        return std::nullopt;
    const qint64 lasts = durationCentis(path);
    if (lasts >= 0 && qAbs(lasts - expectedCentis) <= slackCentis)
        return std::nullopt;
    return failed(
        job, Placement::Outcome::WrongDuration,
        QStringLiteral("the file lasts %1, its source %2")
            .arg(lasts < 0 ? QStringLiteral("an unknown time") : secondsText(lasts), secondsText(expectedCentis)));
}

// place() with the duration check: expectedCentis is the source's duration, -1 for none.
Placement placeChecked(const Job& job, const Stage& stage, qint64 expectedCentis)
{
    Scratch scratch(job.extension);
    if (!scratch.isValid())
        return failed(job, Placement::Outcome::NoScratch, QStringLiteral("no scratch file in Temp/"));
    const QString why = stage(scratch.path());
    if (!why.isEmpty())
        return failed(job, Placement::Outcome::StagingFailed, why);
    if (const std::optional<Placement> unfit =
            refused(job, scratch.path(), expectedCentis, DurationSlackCentis + expectedCentis / 100))
        return *unfit;
    Placement placement;
    placement.path = moveIn(scratch.path(), job.seconds, job.extension);
    if (placement.path.isEmpty())
        return failed(job, Placement::Outcome::NotMoved, QStringLiteral("no free name in Videos/ took it"));
    scratch.release();
    placement.outcome = Placement::Outcome::Placed;
    if (job.removeSource && !QFile::remove(job.source))
        trace(QStringLiteral("library: ") + job.source + QStringLiteral(" is in the library but could not be removed"));
    return placement;
}

} // namespace

Placement place(const Job& job, const Stage& stage)
{
    return placeChecked(job, stage, -1);
}

Placement copyIn(const Job& job, const std::function<void(int percent)>& progress)
{
    return place(job, [&](const QString& scratch) {
        const qint64 size = QFileInfo(job.source).size();
        if (!FileCopy::copy(job.source, scratch, progress))
            return QStringLiteral("the copy failed");
        const qint64 copied = QFileInfo(scratch).size();
        if (copied != size)
            return QStringLiteral("the copy holds %1 of %2 bytes").arg(copied).arg(size);
        return QString();
    });
}

Placement convertIn(const Job& job, const QStringList& arguments, const std::function<void(int percent)>& progress)
{
    // ffprobe and ffmpeg would wait on a FIFO for ever.
    if (!RegularFile::isRegular(job.source))
        return failed(job, Placement::Outcome::StagingFailed, QStringLiteral("not a regular file"));
    const qint64 expected = durationCentis(job.source);
    const Stage stage = [&](const QString& scratch) {
        // The progress arguments begin with "-nostdin", as every ffmpeg job of the library does.
        const ToolCommand command{QStringLiteral("ffmpeg"),
                                  FfmpegProgress::arguments() +
                                      QStringList{QStringLiteral("-y"), QStringLiteral("-i"), job.source} + arguments +
                                      QStringList{scratch}};
        FfmpegProgress report;
        int shown = -1;
        const ToolRunner::ToolResult result = ToolRunner::runToolChunks(command, [&](const QString& chunk) {
            report.feed(chunk);
            const qint64 positionUs = report.positionUs();
            if (!progress || positionUs < 0 || expected <= 0)
                return;
            const int percent = static_cast<int>(qMin<qint64>(100, positionUs / 10000 * 100 / expected));
            if (percent != shown) {
                shown = percent;
                progress(percent);
            }
        });
        report.feed(result.output.right(FfmpegProgress::MaxLineLength));
        report.finish();
        if (result.code != ToolRunner::ToolResult::Code::Finished)
            return QStringLiteral("ffmpeg did not run to its end");
        if (result.exitCode != 0)
            return QStringLiteral("ffmpeg ended with status %1: %2").arg(result.exitCode).arg(report.lastLogLine());
        return QString();
    };
    return placeChecked(job, stage, expected);
}

Placement takeIn(const Job& job, qint64 expectedCentis, qint64 slackCentis)
{
    if (!RegularFile::isRegular(job.source))
        return failed(job, Placement::Outcome::StagingFailed, QStringLiteral("not a regular file"));
    if (const std::optional<Placement> unfit = refused(job, job.source, expectedCentis, slackCentis))
        return *unfit;
    Placement placement;
    placement.path = moveIn(job.source, job.seconds, job.extension);
    if (placement.path.isEmpty())
        return failed(job, Placement::Outcome::NotMoved, QStringLiteral("no free name in Videos/ took it"));
    placement.outcome = Placement::Outcome::Placed;
    return placement;
}

qint64 durationCentis(const QString& path)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]+):([0-9]{2}):([0-9]{2})\\.([0-9]{2})$"));
    const QRegularExpressionMatch match = form.match(LibraryInserter::measureDuration(path));
    if (!match.hasMatch())
        return -1;
    return ((match.captured(1).toLongLong() * 60 + match.captured(2).toLongLong()) * 60 +
            match.captured(3).toLongLong()) *
               100 +
           match.captured(4).toLongLong();
}

} // namespace LibraryTarget
