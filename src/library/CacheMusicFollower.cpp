#include "library/CacheMusicFollower.h"

#include "library/CacheEntryFile.h"
#include "library/LibraryFormat.h"
#include "library/LibraryInserter.h"
#include "library/MediaTableModel.h"
#include "library/TagStore.h"

#include <QFile>
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
        // Only the entry's body grows the copy, never its records.
        CacheEntryFile cache(record.cachePath, record.format);
        if (!cache.open() || cache.bodySize() <= record.copiedSize)
            continue;
        // A copy the user has deleted is not made again from the middle of the song.
        if (!QFileInfo(record.libraryPath).isFile())
            continue;
        QFile out(record.libraryPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
            continue;
        const qint64 appended = cache.appendBody(out, record.copiedSize);
        out.close();
        if (appended <= 0)
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
