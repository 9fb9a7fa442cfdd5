#include "model/BaseNames.h"

#include "base/AppPaths.h"
#include "base/Clock.h"

#include <QDir>
#include <QFileInfo>

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

bool takenOnDisk(const QString& base)
{
    if (!AppPaths::hasDataDir())
        return false;
    if (base.isEmpty())
        return true;
    using AppPaths::Folder;
    for (const Folder folder : {Folder::Screens, Folder::Icons32, Folder::Icons16}) {
        if (QFileInfo::exists(AppPaths::folder(folder) + base + QStringLiteral(".bmp")))
            return true;
    }
    if (QFileInfo::exists(AppPaths::folder(Folder::Thumbnails) + base + QStringLiteral(".jpg")))
        return true;
    // Bases are digits, so neither name holds a wildcard of its own.
    const QDir videos(AppPaths::folder(Folder::Videos));
    return !videos.entryList({base, base + QStringLiteral(".*")}, QDir::AllEntries | QDir::Hidden | QDir::System)
                .isEmpty();
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
