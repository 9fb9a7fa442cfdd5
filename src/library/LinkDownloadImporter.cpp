#include "library/LinkDownloadImporter.h"

#include "base/AppPaths.h"
#include "base/Trace.h"
#include "download/WebPage.h"
#include "library/FileBusy.h"
#include "library/LibraryInserter.h"
#include "library/LibraryTarget.h"
#include "library/RegularFile.h"
#include "library/TagStore.h"
#include "model/BaseNames.h"
#include "tools/LinkDownloadJob.h"
#include "tools/ToolRunner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSet>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace LinkDownloadImporter {

namespace {

const QLatin1StringView kHeldPrefix(".held-");

// The marks this process holds itself.
struct OwnHolds
{
    QMutex mutex;
    QSet<QString> marks;
};

OwnHolds& ownHolds()
{
    static OwnHolds holds;
    return holds;
}

// The mark in "Title~MARK.ext" when it is one a job makes (letters and digits, short); empty
// otherwise, so that no name leads the check outside the folder.
QString holdMarkOf(const QString& fileName)
{
    const qsizetype tilde = fileName.lastIndexOf(QLatin1Char('~'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (tilde < 0 || dot <= tilde + 1 || dot - tilde - 1 > 32)
        return {};
    const QString mark = fileName.mid(tilde + 1, dot - tilde - 1);
    for (const QChar c : mark) {
        if (c.unicode() > 0x7F || !c.isLetterOrNumber())
            return {};
    }
    return mark;
}

QString heldPath(const QString& mark)
{
    return AppPaths::folder(AppPaths::Folder::TempDownloads) + kHeldPrefix + mark;
}

bool isAudioOnly(const QString& fileName)
{
    return titleOf(fileName).endsWith(QLatin1String(" - Only Audio"));
}

// Files ffprobe found no stream in stay in "TempDownloads/", and the importer passes every
// second: each is probed again only once it changed (size or time).
class Unreadable final
{
public:
    bool known(const QString& path)
    {
        const QMutexLocker lock(&m_mutex);
        const auto found = m_files.constFind(path);
        return found != m_files.cend() && *found == stamp(path);
    }
    void add(const QString& path)
    {
        const QMutexLocker lock(&m_mutex);
        if (m_files.size() >= kMaxKnown)
            m_files.clear();
        m_files.insert(path, stamp(path));
    }

private:
    static constexpr qsizetype kMaxKnown = 4096;
    static QPair<qint64, qint64> stamp(const QString& path)
    {
        const QFileInfo info(path);
        return {info.size(), info.lastModified().toMSecsSinceEpoch()};
    }

    QMutex m_mutex;
    QHash<QString, QPair<qint64, qint64>> m_files;
};
Unreadable g_unreadable;

} // namespace

QString titleOf(const QString& fileName)
{
    // The "~" the downloader puts after the title is the last one: a title may hold its own.
    const qsizetype tilde = fileName.lastIndexOf(QLatin1Char('~'));
    return tilde < 0 ? fileName.section(QLatin1Char('.'), 0, -2) : fileName.left(tilde);
}

Streams streamsOf(const QString& ffprobeOutput)
{
    Streams streams;
    if (ffprobeOutput.size() > MaxProbeOutput)
        return streams;
    const QJsonDocument document = QJsonDocument::fromJson(ffprobeOutput.toLatin1());
    for (const QJsonValue& stream : document.object().value(QLatin1StringView("streams")).toArray()) {
        const QJsonObject values = stream.toObject();
        const QString type = values.value(QLatin1StringView("codec_type")).toString();
        const bool picture = values.value(QLatin1StringView("disposition"))
                                 .toObject()
                                 .value(QLatin1StringView("attached_pic"))
                                 .toInt() != 0;
        if (type == QLatin1String("video") && !picture)
            ++streams.video;
        else if (type == QLatin1String("audio"))
            ++streams.audio;
    }
    return streams;
}

Hold::Hold(const QString& mark)
    : m_mark(mark)
    , m_path(heldPath(mark))
{
    QDir().mkpath(AppPaths::folder(AppPaths::Folder::TempDownloads));
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0)
        trace(QStringLiteral("link download: cannot hold ") + m_path);
    OwnHolds& holds = ownHolds();
    QMutexLocker lock(&holds.mutex);
    holds.marks.insert(m_mark);
}

Hold::~Hold()
{
    {
        OwnHolds& holds = ownHolds();
        QMutexLocker lock(&holds.mutex);
        holds.marks.remove(m_mark);
    }
    if (m_fd >= 0) {
        QFile::remove(m_path);
        ::close(m_fd);
    }
}

bool isHeldElsewhere(const QString& fileName)
{
    const QString mark = holdMarkOf(fileName);
    if (mark.isEmpty())
        return false;
    {
        OwnHolds& holds = ownHolds();
        QMutexLocker lock(&holds.mutex);
        if (holds.marks.contains(mark))
            return false;
    }
    const int fd = ::open(QFile::encodeName(heldPath(mark)).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

int pass(const LibraryContext& context)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempDownloads);
    return importNames(context, QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name));
}

int importNames(const LibraryContext& context, const QStringList& names, QStringList* rejected)
{
    int imported = 0;
    const QString folder = AppPaths::folder(AppPaths::Folder::TempDownloads);
    for (const QString& name : names) {
        const QString source = folder + name;
        if (name.contains(QLatin1Char('/')) || !RegularFile::isRegular(source))
            continue;
        const QString title = titleOf(name);
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix.contains(QLatin1String("part")) || name.startsWith(kHeldPrefix) || isHeldElsewhere(name) ||
            FileBusy::isOpenForWriting(source))
            continue;
        if (g_unreadable.known(source)) {
            if (rejected)
                rejected->append(name);
            continue;
        }
        const ToolRunner::ToolResult probe = ToolRunner::runToolResult(
            {QStringLiteral("ffprobe"),
             {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-of"), QStringLiteral("json"),
              QStringLiteral("-show_entries"), QStringLiteral("stream=codec_type:stream_disposition=attached_pic"),
              QStringLiteral("-i"), source}},
            nullptr, MaxProbeOutput + 1);
        const Streams streams = streamsOf(probe.output);
        if (!streams.any()) {
            // Only ffprobe's own report rejects a file: one that did not run tells nothing.
            // Either way the file stays: it may be the only copy of what was downloaded.
            if (probe.code == ToolRunner::ToolResult::Code::Finished) {
                trace(QStringLiteral("link download: ") + name +
                      QStringLiteral(" stays in TempDownloads: ffprobe finds no video or audio stream in it"));
                g_unreadable.add(source);
                if (rejected)
                    rejected->append(name);
            }
            continue;
        }

        // The move never replaces a library file, also one that took the base meanwhile.
        const qint64 seconds = BaseNames::firstFree(context.videoFiles.snapshot(), context.now()).toLongLong();
        const QString target = LibraryTarget::moveIn(source, seconds, QLatin1Char('.') + suffix);
        if (target.isEmpty())
            continue; // tried again on the next pass

        // The job that wrote the file knows its page; files of no job of this run take the
        // page of the current job.
        QString page = LinkDownloadJob::pageOfFile(name);
        if (page.isEmpty() && context.linkPage)
            page = context.linkPage();
        const QString host = WebPage::iconHost(page);
        if (!host.isEmpty() && !WebPage::iconPresent(host))
            WebPage::GetFavIcon(WebPage::iconAddress(page), std::chrono::milliseconds(3000), host);
        TagStore::write(target, QStringLiteral("title"), title);
        TagStore::write(target, QStringLiteral("author"), page);
        // Without a page there is no site icon; the file keeps the default one of its kind.
        const bool sound = isAudioOnly(name) || streams.video == 0;
        const QString icon =
            !host.isEmpty() ? host : (sound ? QStringLiteral("DefaultAudio") : QStringLiteral("DefaultVideo"));
        LibraryInserter::insert(context, target, icon);
        ++imported;
    }
    return imported;
}

} // namespace LinkDownloadImporter
