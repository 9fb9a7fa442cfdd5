#pragma once

#include "model/MP3File.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Readers of the cache entries browsers write on Linux. A cache file is never a raw body: each
// reader finds where the media body lies inside the file and yields it as spans of the file, in
// body order. Everything in a cache file is untrusted: every length is checked against the
// file before it is used, and the work per file is bounded.
namespace CacheEntryReader {

// Random access to the file's bytes; read() may return fewer bytes than asked (at the end).
struct Source
{
    qint64 size = 0;
    std::function<QByteArray(qint64 offset, qint64 length)> read;
};

struct Span
{
    qint64 fileOffset = 0;
    qint64 length = 0;
};

struct Body
{
    bool ok = false;
    QString why;       // when not ok: what is wrong with the entry
    QList<Span> spans; // the body, in order, without gaps
    qint64 size = 0;   // sum of the spans' lengths
};

// A sparse entry holds at most this many ranges; more make it a bad entry.
inline constexpr int MaxSparseRanges = 65536;

// Firefox cache2: the last 4 bytes (big-endian) give the metadata's offset, which is the body's
// length; the metadata (chunk hashes, header, key) must fit between the body and those bytes.
Body firefox(const Source& source);
// Chromium simple cache "<hash>_0": header (magic 0xfcfb6d1ba7725c30) and key, stream 1 (the
// body), its end record, stream 0 (the response headers), an optional key hash and the last end
// record, which gives stream 0's size.
Body chromiumStream(const Source& source);
// Chromium simple cache "<hash>_s": header and key, then range records (magic
// 0xeb97bf016553676b, offset, length, crc), each followed by its bytes. The body is the ranges
// from offset 0 on, in order of their offsets, up to the first gap.
Body chromiumSparse(const Source& source);

Body read(CacheEntryFormat format, const Source& source);

} // namespace CacheEntryReader
