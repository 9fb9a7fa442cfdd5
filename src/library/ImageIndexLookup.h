#pragma once

#include "library/LibraryContext.h"

#include <QHash>
#include <QString>

// Base name -> image-list index for one pass over many files (a scan): ImagesIndexes read into a
// hash once and then only the entries appended since, instead of a search of the whole array
// per file, which made a start with thousands of files quadratic. Entries are only ever
// appended, so what was read stays true. Not shared between threads; each pass has its own.
class ImageIndexLookup final
{
public:
    explicit ImageIndexLookup(const LibraryContext& context);

    // The base's index (names compared ignoring case, the first entry wins); -1 when none.
    qint32 find(const QString& base);
    // The base's index, taken and recorded in ImagesIndexes when it has none. Taking is one
    // locked step with every other taker (LibraryInserter), so a base never gets two indexes.
    qint32 take(const QString& base);

    // The lock every taker of image indexes holds while it looks and appends.
    static QMutex& takeLock();

private:
    void catchUp();

    const LibraryContext& m_context;
    QHash<QString, qint32> m_byBase; // case-folded base -> index
    qsizetype m_seen = 0;            // entries of ImagesIndexes read so far
};
