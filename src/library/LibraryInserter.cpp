#include "library/LibraryInserter.h"

#include "base/AppPaths.h"
#include "base/Texts.h"
#include "library/FfmpegCommand.h"
#include "library/ImageIndexLookup.h"
#include "library/LibraryFormat.h"
#include "library/MediaTableModel.h"
#include "library/TagStore.h"
#include "library/ThumbnailMaker.h"
#include "model/BaseNames.h"
#include "tools/ToolRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>

namespace LibraryInserter {

qint32 attachImages(const LibraryContext& context, const QString& base)
{
    const QImage large = MediaTableModel::loadIcon(
        AppPaths::folder(AppPaths::Folder::Icons32) + base + QStringLiteral(".bmp"), MediaTableModel::LargeSide);
    const QImage small = MediaTableModel::loadIcon(
        AppPaths::folder(AppPaths::Folder::Icons16) + base + QStringLiteral(".bmp"), MediaTableModel::SmallSide);
    qint32 index = -1;
    {
        QMutexLocker lock(&ImageIndexLookup::takeLock());
        index = BaseNames::imageIndexOf(context.imagesIndexes, base);
        if (index < 0) {
            index = context.table.reserveImageIndex();
            context.imagesIndexes.append({index, base});
        }
    }
    context.table.post([index, large, small](MediaTableModel& table) { table.setImages(index, large, small); });
    return index;
}

QString measureDuration(const QString& path)
{
    const QString output = ToolRunner::runTool(
        {QStringLiteral("ffprobe"),
         {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-of"), QStringLiteral("json"),
          QStringLiteral("-show_entries"), QStringLiteral("format=duration"), QStringLiteral("-i"), path}});
    return LibraryFormat::durationFromProbe(output);
}

void insert(const LibraryContext& context, const QString& path, const QString& iconName)
{
    const QString base = LibraryFormat::baseOf(path);
    const bool audio = iconName == QLatin1String("DefaultAudio");

    MediaRow row;
    row.path = path;
    row.title = TagStore::read(path, QStringLiteral("title"));
    row.author = TagStore::read(path, QStringLiteral("author"));

    // The time the filters will use for this file (its name's), so that a later scan agrees.
    QDateTime captured =
        LibraryFormat::captureTimeOf(QFileInfo(path).fileName(), QDateTime::fromSecsSinceEpoch(context.now()));
    if (audio) {
        const QDateTime cacheTime = context.mp3Files.withLock([&](const QList<MP3File>& files) {
            for (const MP3File& file : files) {
                if (file.libraryPath == path)
                    return file.fileTime;
            }
            return QDateTime();
        });
        if (cacheTime.isValid()) {
            captured = cacheTime;
            // The file's own time carries the capture time into later scans.
            QFile file(path);
            if (file.open(QIODevice::ReadWrite))
                file.setFileTime(cacheTime, QFileDevice::FileModificationTime);
        }
    }
    row.captureSeconds = captured.toSecsSinceEpoch();
    row.captureTime = LibraryFormat::captureTime(captured);

    const QFileInfo info(path);
    if (info.exists()) {
        row.sizeBytes = info.size();
        row.size = LibraryFormat::sizeText(row.sizeBytes);
    }
    row.format = LibraryFormat::formatOf(path);

    const QString duration = measureDuration(path);
    const QString comments = duration + QStringLiteral(", ") + row.format;
    TagStore::write(path, QStringLiteral("comments"), comments);
    // The duration alone: the first 8 characters of "n/a, MP4" would show part of the format.
    row.duration = duration.left(8);

    const bool listed = ThumbnailMaker::makeThumbnailAndStill(path, base, comments, audio);
    ThumbnailMaker::makeIcons(base, AppPaths::folder(AppPaths::Folder::FavIcons) + iconName);
    row.imageIndex = attachImages(context, base);

    context.table.post([row, listed](MediaTableModel& table) {
        table.insertTop(row);
        if (listed)
            emit table.scrollerReloadRequested();
        emit table.topRowPreviewRequested();
    });
}

} // namespace LibraryInserter
