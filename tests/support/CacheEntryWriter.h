#pragma once

#include <QByteArray>
#include <QList>

// Writes cache entries the way the browsers lay them out on Linux, around a given body.
namespace CacheEntryWriter {

inline const QByteArray DefaultKey =
    QByteArrayLiteral("1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1/song.mp3");

struct Range
{
    qint64 offset = 0;
    QByteArray bytes;
};

// Firefox cache2: body, chunk hashes, metadata header, key, one element, metadata offset.
QByteArray firefox(const QByteArray& body, const QByteArray& key = ":http://127.0.0.1/song.mp3");
// Chromium simple cache "<hash>_0" with the body as stream 1 and a few response headers as
// stream 0 (with the key's hash before the last record, as current versions write it).
QByteArray chromiumStream(const QByteArray& body, const QByteArray& key = DefaultKey);
// Chromium simple cache "<hash>_s" with the ranges in the given order.
QByteArray chromiumSparse(const QList<Range>& ranges, const QByteArray& key = DefaultKey);
// The ranges of body cut into pieces of at most pieceSize bytes, in body order.
QList<Range> split(const QByteArray& body, qint64 pieceSize);

} // namespace CacheEntryWriter
