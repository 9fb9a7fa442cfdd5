#include "library/CacheMusicFollower.h"

#include "library/FileCopy.h"
#include "library/LibraryFormat.h"
#include "library/LibraryInserter.h"
#include "library/MediaTableModel.h"
#include "library/TagStore.h"

#include <QFileInfo>

namespace CacheMusicFollower {

int pass(const LibraryContext& context)
{
    int grown = 0;
    const qsizetype count = context.mp3Files.size();
    for (qsizetype i = 0; i < count; ++i) {
        MP3File record;
        bool follow = false;
        context.mp3Files.update(i, [&](MP3File& entry) {
            ++entry.idleCounter;
            follow = entry.idleCounter < IdleLimit;
            record = entry;
        });
        if (!follow)
            continue;
        const QFileInfo cache(record.cachePath);
        if (!cache.isFile())
            continue;
        const qint64 bodyEnd = context.cacheBodyEnd ? context.cacheBodyEnd(record.cachePath) : cache.size();
        const qint64 from = record.bodyOffset + record.copiedSize;
        if (bodyEnd <= from)
            continue;
        if (FileCopy::appendFrom(record.cachePath, from, bodyEnd, record.libraryPath) <= 0)
            continue;
        const qint64 copied = QFileInfo(record.libraryPath).size();
        context.mp3Files.update(i, [&](MP3File& entry) {
            entry.idleCounter = 0;
            entry.copiedSize = copied;
        });
        ++grown;

        const QString duration = LibraryInserter::measureDuration(record.libraryPath);
        TagStore::write(record.libraryPath, QStringLiteral("comments"),
                        duration + QStringLiteral(", ") + LibraryFormat::formatOf(record.libraryPath));
        const QString path = record.libraryPath;
        context.table.post(
            [path, copied, duration](MediaTableModel& table) { table.updateGrowth(path, copied, duration); });
    }
    return grown;
}

} // namespace CacheMusicFollower
