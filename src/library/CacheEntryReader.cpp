#include "library/CacheEntryReader.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace CacheEntryReader {
namespace {

constexpr quint64 SimpleInitialMagic = 0xfcfb6d1ba7725c30ULL;
constexpr quint64 SimpleFinalMagic = 0xf4fa6f45970d41d8ULL;
constexpr quint64 SimpleSparseMagic = 0xeb97bf016553676bULL;
// The simple cache writes its records as padded structures.
constexpr qint64 SimpleHeaderSize = 24;      // magic, version, key length, key hash, padding
constexpr qint64 SimpleEofSize = 24;         // magic, flags, crc, stream size, padding
constexpr qint64 SparseRangeHeaderSize = 32; // magic, offset, length, crc, padding
constexpr quint32 EofHasKeySha256 = 1U << 1;
constexpr qint64 KeySha256Size = 32;
// Keys are addresses with a short prefix; a longer one is not an entry a browser wrote.
constexpr qint64 MaxKeyLength = 1 << 20;

constexpr qint64 FirefoxChunkSize = 256 * 1024;
constexpr qint64 FirefoxHeaderSizeV1 = 28; // version, fetch count, 4 times, key size
constexpr qint64 FirefoxHeaderSizeV2 = 32; // ... and flags (versions 2 to 4)

Body bad(const QString& why)
{
    Body body;
    body.why = why;
    return body;
}

Body whole(qint64 offset, qint64 length)
{
    Body body;
    body.ok = true;
    if (length > 0) {
        body.spans.append(Span{offset, length});
        body.size = length;
    }
    return body;
}

// Exactly length bytes at offset, or an empty array.
QByteArray exact(const Source& source, qint64 offset, qint64 length)
{
    if (offset < 0 || length <= 0 || offset > source.size || length > source.size - offset)
        return {};
    QByteArray bytes = source.read(offset, length);
    return bytes.size() == length ? bytes : QByteArray();
}

// The number stored at "at"; 0 when the bytes end before it.
template <typename T> T stored(const QByteArray& bytes, qsizetype at)
{
    T value = 0;
    if (at >= 0 && bytes.size() - at >= qsizetype(sizeof value))
        std::memcpy(&value, bytes.constData() + at, sizeof value);
    return value;
}

quint32 le32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian(stored<quint32>(bytes, at));
}
quint64 le64(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian(stored<quint64>(bytes, at));
}
quint32 be32(const QByteArray& bytes, qsizetype at)
{
    return qFromBigEndian(stored<quint32>(bytes, at));
}

// The header of a simple-cache file; the offset just past its key, or -1.
qint64 simpleKeyEnd(const Source& source, QString& why)
{
    const QByteArray header = exact(source, 0, SimpleHeaderSize);
    if (header.isEmpty()) {
        why = QStringLiteral("truncated header");
        return -1;
    }
    if (le64(header, 0) != SimpleInitialMagic) {
        why = QStringLiteral("wrong magic");
        return -1;
    }
    const qint64 keyLength = le32(header, 12);
    if (keyLength > MaxKeyLength || SimpleHeaderSize + keyLength > source.size) {
        why = QStringLiteral("key past the end");
        return -1;
    }
    return SimpleHeaderSize + keyLength;
}

} // namespace

Body firefox(const Source& source)
{
    if (source.size < 4)
        return bad(QStringLiteral("truncated entry"));
    const QByteArray tail = exact(source, source.size - 4, 4);
    if (tail.isEmpty())
        return bad(QStringLiteral("unreadable entry"));
    const qint64 bodyLength = be32(tail, 0);
    if (bodyLength > source.size - 4)
        return bad(QStringLiteral("metadata offset past the end"));
    // The metadata: a hash of itself, one 16-bit hash per 256 KiB chunk of the body, the header
    // and the key with its terminating zero.
    const qint64 chunks = (bodyLength + FirefoxChunkSize - 1) / FirefoxChunkSize;
    const qint64 hashes = 4 + 2 * chunks;
    // The key size is at the same place in every version's header.
    const QByteArray header = exact(source, bodyLength + hashes, FirefoxHeaderSizeV1);
    if (header.isEmpty())
        return bad(QStringLiteral("truncated metadata"));
    const quint32 version = be32(header, 0);
    if (version < 1 || version > 4)
        return bad(QStringLiteral("unknown metadata version"));
    const qint64 headerSize = version == 1 ? FirefoxHeaderSizeV1 : FirefoxHeaderSizeV2;
    const qint64 keySize = be32(header, 24);
    const qint64 keyAt = bodyLength + hashes + headerSize;
    if (keySize > MaxKeyLength || keyAt + keySize + 1 > source.size - 4)
        return bad(QStringLiteral("metadata past the end"));
    const QByteArray terminator = exact(source, keyAt + keySize, 1);
    if (terminator != QByteArray(1, '\0'))
        return bad(QStringLiteral("unterminated key"));
    return whole(0, bodyLength);
}

Body chromiumStream(const Source& source)
{
    QString why;
    const qint64 keyEnd = simpleKeyEnd(source, why);
    if (keyEnd < 0)
        return bad(why);
    if (source.size - keyEnd < 2 * SimpleEofSize)
        return bad(QStringLiteral("no end records"));
    const QByteArray last = exact(source, source.size - SimpleEofSize, SimpleEofSize);
    if (last.isEmpty() || le64(last, 0) != SimpleFinalMagic)
        return bad(QStringLiteral("no end record for stream 0"));
    qint64 stream0End = source.size - SimpleEofSize;
    if (le32(last, 8) & EofHasKeySha256)
        stream0End -= KeySha256Size;
    const qint64 stream0Size = le32(last, 16);
    const qint64 stream1Eof = stream0End - stream0Size - SimpleEofSize;
    if (stream1Eof < keyEnd)
        return bad(QStringLiteral("stream 0 past the start"));
    const QByteArray middle = exact(source, stream1Eof, SimpleEofSize);
    if (middle.isEmpty() || le64(middle, 0) != SimpleFinalMagic)
        return bad(QStringLiteral("no end record for stream 1"));
    return whole(keyEnd, stream1Eof - keyEnd);
}

Body chromiumSparse(const Source& source)
{
    QString why;
    const qint64 keyEnd = simpleKeyEnd(source, why);
    if (keyEnd < 0)
        return bad(why);
    struct Range
    {
        qint64 bodyOffset;
        Span span;
    };
    QList<Range> ranges;
    for (qint64 at = keyEnd; at < source.size;) {
        if (ranges.size() >= MaxSparseRanges)
            return bad(QStringLiteral("too many ranges"));
        const QByteArray header = exact(source, at, SparseRangeHeaderSize);
        if (header.isEmpty())
            return bad(QStringLiteral("truncated range record"));
        if (le64(header, 0) != SimpleSparseMagic)
            return bad(QStringLiteral("wrong range magic"));
        const auto offset = static_cast<qint64>(le64(header, 8));
        const auto length = static_cast<qint64>(le64(header, 16));
        const qint64 dataAt = at + SparseRangeHeaderSize;
        if (offset < 0 || length <= 0 || length > source.size - dataAt)
            return bad(QStringLiteral("range runs past the file"));
        ranges.append(Range{offset, Span{dataAt, length}});
        at = dataAt + length;
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.bodyOffset < b.bodyOffset; });
    for (qsizetype i = 1; i < ranges.size(); ++i) {
        // Sorted and non-negative, so the difference cannot overflow.
        if (ranges[i].bodyOffset - ranges[i - 1].bodyOffset < ranges[i - 1].span.length)
            return bad(QStringLiteral("overlapping ranges"));
    }
    Body body;
    body.ok = true;
    for (const Range& range : ranges) {
        if (range.bodyOffset != body.size)
            break; // a gap: the body ends here
        body.spans.append(range.span);
        body.size += range.span.length;
    }
    return body;
}

Body read(CacheEntryFormat format, const Source& source)
{
    switch (format) {
    case CacheEntryFormat::FirefoxEntry:
        return firefox(source);
    case CacheEntryFormat::ChromiumStream:
        return chromiumStream(source);
    case CacheEntryFormat::ChromiumSparse:
        return chromiumSparse(source);
    }
    return bad(QStringLiteral("unknown format"));
}

} // namespace CacheEntryReader
