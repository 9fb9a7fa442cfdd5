#include "library/LibraryScan.h"

#include "base/AppPaths.h"
#include "base/Settings.h"
#include "base/Texts.h"
#include "library/ImageIndexLookup.h"
#include "library/LibraryFormat.h"
#include "library/LibraryInserter.h"
#include "library/MediaTableModel.h"
#include "library/RegularFile.h"
#include "library/TagStore.h"
#include "library/ThumbnailMaker.h"
#include "library/TimeFilter.h"
#include "tools/ToolRunner.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace LibraryScan {
namespace {

// Rows reach the table in batches, so a large library does not queue one call per file. The
// first batch is small, for a first screenful at once; each later one doubles, since every
// insertion at the top moves the rows below it (fixed batches made 20,000 files quadratic).
constexpr int kFirstBatch = 64;
constexpr int kLargestBatch = 4096;

void flush(const LibraryContext& context, QList<MediaRow>& batch)
{
    if (batch.isEmpty())
        return;
    context.table.post([rows = std::move(batch)](MediaTableModel& table) { table.insertTopRows(rows); });
    batch.clear();
}

void makeMissingPictures(const QString& path, const QString& base, const QString& duration)
{
    const QString thumbnail = AppPaths::folder(AppPaths::Folder::Thumbnails) + base + QStringLiteral(".jpg");
    if (QFileInfo::exists(thumbnail))
        return;
    ThumbnailMaker::makeThumbnailAndStill(path, base, duration, false);
    // Found files have no site icon: both icons come from the still frame.
    ThumbnailMaker::makeIcons(base, AppPaths::folder(AppPaths::Folder::Screens) + base + QStringLiteral(".bmp"));
}

// Oldest name first, so that rows inserted at the top in turn end newest first. A folder lists in
// no particular order; names by their time (a shorter number is an older one), then as text.
QFileInfoList sortedByName(QFileInfoList entries)
{
    struct Keyed
    {
        qint64 seconds;
        QString name;
        qsizetype at;
    };
    std::vector<Keyed> keys;
    keys.reserve(static_cast<size_t>(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString name = entries.at(i).fileName();
        keys.push_back({LibraryFormat::captureSecondsOfName(name), name, i});
    }
    std::sort(keys.begin(), keys.end(), [](const Keyed& a, const Keyed& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.name < b.name;
    });
    QFileInfoList sorted;
    sorted.reserve(entries.size());
    for (const Keyed& key : keys)
        sorted.append(entries.at(key.at));
    return sorted;
}

} // namespace

QString tutorialTitle(const QString& fileName)
{
    if (fileName == QLatin1String("00.mp4"))
        return QStringLiteral("КАК ПОЛЬЗОВАТЬСЯ программой Trawlix?");
    if (fileName == QLatin1String("000.mp4"))
        return QStringLiteral("How Trawlix works?");
    if (fileName == QLatin1String("!!.mp4"))
        return QStringLiteral("Ответы на часто задаваемые вопросы...");
    return {};
}

Result run(const LibraryContext& context, const Request& request)
{
    Result result;
    const qint64 now = context.now();
    const qint64 threshold = TimeFilter::threshold(request.timeFilter, now);
    const QString defaultTitle = tx(u"Unnamed media file");
    const QString filter = request.titleFilter.toUpper();

    context.table.post([](MediaTableModel& table) { table.clear(); });
    QList<MediaRow> batch;
    int batchSize = kFirstBatch;
    ImageIndexLookup images(context);
    const QFileInfoList entries =
        sortedByName(QDir(AppPaths::folder(AppPaths::Folder::Videos))
                         .entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted));
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (LibraryFormat::captureSecondsOfName(name) < threshold || name == QLatin1String("Thumbs.db"))
            continue;
        const QString path = entry.absoluteFilePath();
        // Media files only: ffmpeg would wait for ever on a FIFO, and a link may lead anywhere.
        if (!RegularFile::isRegular(path))
            continue;

        QString title = TagStore::read(path, QStringLiteral("title"));
        const QString tutorial = tutorialTitle(name);
        if (title == defaultTitle && !tutorial.isEmpty()) {
            title = tutorial;
            TagStore::write(path, QStringLiteral("title"), title);
            if (name != QLatin1String("!!.mp4"))
                Settings::instance().write(QStringLiteral("_FirstRunTime"), QString::number(now));
        }
        // Files deleted by the user wait for the next start to leave the disk; never list them
        // (and never spend an ffmpeg run on them).
        if (TagStore::isMarkedForDeletion(path))
            continue;
        if (!filter.isEmpty() && !title.toUpper().contains(filter))
            continue;

        MediaRow row;
        row.title = title;
        row.path = path;
        row.format = LibraryFormat::formatOf(path);
        const QString comments = TagStore::read(path, QStringLiteral("comments"));
        QString duration;
        if (comments == defaultTitle) {
            duration = LibraryInserter::measureDuration(path);
            TagStore::write(path, QStringLiteral("comments"), duration + QStringLiteral(", ") + row.format);
            ++result.measured;
        } else {
            duration = comments.section(QLatin1Char(','), 0, 0).trimmed();
        }
        row.duration = duration.left(8);
        row.author = TagStore::read(path, QStringLiteral("author"));
        row.sizeBytes = entry.size();
        row.size = LibraryFormat::sizeText(row.sizeBytes);
        const QDateTime captured = LibraryFormat::captureTimeOf(name, entry.lastModified());
        row.captureSeconds = captured.toSecsSinceEpoch();
        row.captureTime = LibraryFormat::captureTime(captured);

        const QString base = LibraryFormat::baseOf(name);
        row.imageIndex = images.find(base);
        if (row.imageIndex < 0) {
            if (!LibraryFormat::isAudioPath(path))
                makeMissingPictures(path, base, duration);
            // The icons are read when the row is painted: a start lists thousands of files
            // and shows a few dozen.
            row.imageIndex = images.take(base);
        }
        batch.append(row);
        ++result.listed;
        if (batch.size() >= batchSize) {
            flush(context, batch);
            batchSize = qMin(batchSize * 2, kLargestBatch);
        }
    }
    flush(context, batch);
    context.table.post([](MediaTableModel& table) { emit table.topRowPreviewRequested(); });
    return result;
}

} // namespace LibraryScan
