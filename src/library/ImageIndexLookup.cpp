#include "library/ImageIndexLookup.h"

#include "library/MediaTableModel.h"

#include <QMutex>

ImageIndexLookup::ImageIndexLookup(const LibraryContext& context)
    : m_context(context)
{}

QMutex& ImageIndexLookup::takeLock()
{
    static QMutex mutex;
    return mutex;
}

void ImageIndexLookup::catchUp()
{
    m_context.imagesIndexes.withLock([this](const QList<ImagesIndex>& entries) {
        for (; m_seen < entries.size(); ++m_seen) {
            const ImagesIndex& entry = entries.at(m_seen);
            const QString key = entry.baseName.toCaseFolded();
            if (!m_byBase.contains(key))
                m_byBase.insert(key, entry.imageIndex);
        }
    });
}

qint32 ImageIndexLookup::find(const QString& base)
{
    catchUp();
    return m_byBase.value(base.toCaseFolded(), -1);
}

qint32 ImageIndexLookup::take(const QString& base)
{
    QMutexLocker lock(&takeLock());
    const qint32 found = find(base);
    if (found >= 0)
        return found;
    const qint32 index = m_context.table.reserveImageIndex();
    m_context.imagesIndexes.append({index, base});
    return index;
}
