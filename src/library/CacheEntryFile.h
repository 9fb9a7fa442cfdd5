#pragma once

#include "library/CacheEntryReader.h"

#include <QFile>

// One browser-cache file opened for reading with its media body located. Reads and copies see
// the body only, never the entry's own records.
class CacheEntryFile final
{
public:
    CacheEntryFile(const QString& path, CacheEntryFormat format);
    CacheEntryFile(const CacheEntryFile&) = delete;
    CacheEntryFile& operator=(const CacheEntryFile&) = delete;

    // Opens the file and locates the body; false when it cannot be opened (why() is empty) or
    // is not a sound entry of its format (why() says what is wrong).
    bool open();
    const QString& why() const { return m_why; }

    qint64 bodySize() const { return m_body.size; }
    // Up to length bytes of the body from offset on.
    QByteArray readBody(qint64 offset, qint64 length);
    // Appends the body from offset to its end to out in 64 KiB blocks; returns the bytes
    // written (short when a read or a write failed).
    qint64 appendBody(QFile& out, qint64 offset);

private:
    QFile m_file;
    CacheEntryFormat m_format;
    CacheEntryReader::Body m_body;
    QString m_why;
};
