#include "support/CacheEntryWriter.h"

#include <QtEndian>

namespace CacheEntryWriter {
namespace {

template <typename T> void putLe(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

void putBe32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

QByteArray simpleHeader(const QByteArray& key)
{
    QByteArray out;
    putLe<quint64>(out, 0xfcfb6d1ba7725c30ULL);
    putLe<quint32>(out, 9);
    putLe<quint32>(out, static_cast<quint32>(key.size()));
    putLe<quint32>(out, 0x12345678);
    putLe<quint32>(out, 0); // padding
    return out + key;
}

void simpleEof(QByteArray& out, quint32 flags, quint32 streamSize)
{
    putLe<quint64>(out, 0xf4fa6f45970d41d8ULL);
    putLe<quint32>(out, flags);
    putLe<quint32>(out, 0xabcdef01);
    putLe<quint32>(out, streamSize);
    putLe<quint32>(out, 0);
}

} // namespace

QByteArray firefox(const QByteArray& body, const QByteArray& key)
{
    QByteArray out = body;
    putBe32(out, 0xdeadbeef); // hash of the metadata
    const qint64 chunks = (body.size() + 262143) / 262144;
    for (qint64 i = 0; i < chunks; ++i)
        out.append("\x12\x34", 2);
    for (quint32 value : {3U, 1U, 1700000000U, 1700000000U, 100U, 1800000000U})
        putBe32(out, value);
    putBe32(out, static_cast<quint32>(key.size()));
    putBe32(out, 0); // flags
    out += key;
    out.append('\0');
    out += QByteArrayLiteral("response-head\0HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\0");
    putBe32(out, static_cast<quint32>(body.size()));
    return out;
}

QByteArray chromiumStream(const QByteArray& body, const QByteArray& key)
{
    QByteArray out = simpleHeader(key) + body;
    simpleEof(out, 1, 0);
    const QByteArray headers = QByteArrayLiteral("HTTP/1.1 200 OK\0Content-Type: audio/mpeg\0\0");
    out += headers;
    out += QByteArray(32, '\x5a'); // the key's SHA-256
    simpleEof(out, 3, static_cast<quint32>(headers.size()));
    return out;
}

QByteArray chromiumSparse(const QList<Range>& ranges, const QByteArray& key)
{
    QByteArray out = simpleHeader(key);
    for (const Range& range : ranges) {
        putLe<quint64>(out, 0xeb97bf016553676bULL);
        putLe<qint64>(out, range.offset);
        putLe<qint64>(out, range.bytes.size());
        putLe<quint32>(out, 0x01020304);
        putLe<quint32>(out, 0);
        out += range.bytes;
    }
    return out;
}

QList<Range> split(const QByteArray& body, qint64 pieceSize)
{
    QList<Range> ranges;
    for (qint64 at = 0; at < body.size(); at += pieceSize)
        ranges.append({at, body.mid(at, pieceSize)});
    return ranges;
}

} // namespace CacheEntryWriter
