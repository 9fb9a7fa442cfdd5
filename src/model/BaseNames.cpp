#include "model/BaseNames.h"

#include "base/Clock.h"

#include <QSet>

namespace BaseNames {

QString firstFree(const QList<VideoFile>& records, qint64 nowSeconds)
{
    QSet<QString> taken;
    taken.reserve(records.size());
    for (const VideoFile& record : records)
        taken.insert(record.baseName);
    // A name shared by two downloads would make one overwrite the other, so there is no limit.
    qint64 candidate = nowSeconds;
    while (taken.contains(QString::number(candidate)))
        ++candidate;
    return QString::number(candidate);
}

qsizetype appendWithNewBaseName(VideoFileArray& array, VideoFile record, const Clock& clock)
{
    const qint64 now = clock.secondsSinceEpoch();
    return array.withLock([&](QList<VideoFile>& records) {
        record.baseName = firstFree(records, now);
        records.append(std::move(record));
        return records.size() - 1;
    });
}

qint32 imageIndexOf(const ImagesIndexArray& array, const QString& base)
{
    return array.withLock([&](const QList<ImagesIndex>& entries) {
        for (const ImagesIndex& entry : entries) {
            if (entry.baseName.compare(base, Qt::CaseInsensitive) == 0)
                return entry.imageIndex;
        }
        return qint32(-1);
    });
}

} // namespace BaseNames
