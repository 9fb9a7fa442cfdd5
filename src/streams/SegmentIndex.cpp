#include "streams/SegmentIndex.h"

#include "streams/StreamLimits.h"

#include <span>

namespace {

StreamError malformed(const QString& what)
{
    return streamError(StreamError::Code::Malformed, QStringLiteral("index: %1").arg(what));
}

// Big-endian reads that fail at the end of the bytes instead of running past it.
class Cursor
{
public:
    explicit Cursor(std::span<const quint8> bytes)
        : m_bytes(bytes)
    {}

    qsizetype position() const { return m_at; }
    qsizetype remaining() const { return qsizetype(m_bytes.size()) - m_at; }

    std::optional<quint64> read(int size)
    {
        if (remaining() < size)
            return std::nullopt;
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | m_bytes[size_t(m_at + i)];
        m_at += size;
        return value;
    }

    bool skip(qsizetype size)
    {
        if (size < 0 || remaining() < size)
            return false;
        m_at += size;
        return true;
    }

private:
    std::span<const quint8> m_bytes;
    qsizetype m_at = 0;
};

} // namespace

StreamResult<SegmentIndex> SegmentIndex::parse(QByteArrayView bytes)
{
    if (bytes.size() > StreamLimits::MaxIndexBytes)
        return streamError(StreamError::Code::TooLarge,
                           QStringLiteral("index is larger than %1 bytes").arg(StreamLimits::MaxIndexBytes));
    const std::span<const quint8> all(reinterpret_cast<const quint8*>(bytes.data()), size_t(bytes.size()));
    Cursor cursor(all);
    while (cursor.remaining() > 0) {
        const qsizetype boxStart = cursor.position();
        const std::optional<quint64> size32 = cursor.read(4);
        const std::optional<quint64> type = cursor.read(4);
        if (!size32 || !type)
            return malformed(QStringLiteral("a box header is cut short"));
        quint64 size = *size32;
        if (size == 1) {
            const std::optional<quint64> large = cursor.read(8);
            if (!large)
                return malformed(QStringLiteral("a box header is cut short"));
            size = *large;
        } else if (size == 0) {
            size = quint64(cursor.remaining() + (cursor.position() - boxStart)); // to the end
        }
        const qsizetype header = cursor.position() - boxStart;
        if (size < quint64(header) || size - quint64(header) > quint64(cursor.remaining()))
            return malformed(QStringLiteral("a box is larger than the bytes given"));
        if (*type != 0x73696478) { // not "sidx"
            cursor.skip(qsizetype(size) - header);
            continue;
        }
        Cursor box(all.subspan(size_t(cursor.position()), size_t(size) - size_t(header)));
        SegmentIndex index;
        index.boxOffset = boxStart;
        index.boxSize = qint64(size);
        const std::optional<quint64> versionFlags = box.read(4);
        const std::optional<quint64> referenceId = box.read(4);
        const std::optional<quint64> timescale = box.read(4);
        if (!versionFlags || !referenceId || !timescale)
            return malformed(QStringLiteral("sidx is cut short"));
        index.version = int(*versionFlags >> 24);
        if (index.version > 1)
            return malformed(QStringLiteral("sidx version %1").arg(index.version));
        const int wide = index.version == 0 ? 4 : 8;
        const std::optional<quint64> earliest = box.read(wide);
        const std::optional<quint64> firstOffset = box.read(wide);
        const std::optional<quint64> reserved = box.read(2);
        const std::optional<quint64> count = box.read(2);
        if (!earliest || !firstOffset || !reserved || !count)
            return malformed(QStringLiteral("sidx is cut short"));
        if (*timescale == 0)
            return malformed(QStringLiteral("sidx timescale is zero"));
        if (qsizetype(*count) * 12 > box.remaining())
            return malformed(QStringLiteral("sidx names more references than it holds"));
        index.timescale = quint32(*timescale);
        index.earliestPresentationTime = *earliest;
        index.firstOffset = *firstOffset;
        index.references.reserve(qsizetype(*count));
        for (quint64 i = 0; i < *count; ++i) {
            const quint64 typeSize = *box.read(4);
            const quint64 duration = *box.read(4);
            const quint64 sap = *box.read(4);
            Reference reference;
            reference.referencesIndex = (typeSize >> 31) != 0;
            reference.size = quint32(typeSize & 0x7fffffff);
            reference.duration = quint32(duration);
            reference.startsWithSap = (sap >> 31) != 0;
            index.references.append(reference);
        }
        return index;
    }
    return malformed(QStringLiteral("no sidx box"));
}

StreamResult<QList<SegmentRequest>> SegmentIndex::segments(const QUrl& url, qint64 bytesStartInFile) const
{
    if (references.size() > StreamLimits::MaxSegments)
        return streamError(StreamError::Code::TooManySegments,
                           QStringLiteral("index has more than %1 segments").arg(StreamLimits::MaxSegments));
    // first_offset counts from the first byte after the sidx box. Every term stays below 2^62.
    constexpr quint64 Bound = quint64(1) << 60;
    if (firstOffset > Bound || bytesStartInFile < 0 || quint64(bytesStartInFile) > Bound)
        return malformed(QStringLiteral("sidx offset is past its bound"));
    qint64 offset = bytesStartInFile + boxOffset + boxSize + qint64(firstOffset);
    QList<SegmentRequest> result;
    result.reserve(references.size());
    qint64 sequence = 1;
    for (const Reference& reference : references) {
        if (reference.referencesIndex)
            return streamError(StreamError::Code::Unsupported,
                               QStringLiteral("index: a sidx that points to further sidx boxes"));
        if (reference.size == 0)
            return malformed(QStringLiteral("a reference of zero bytes"));
        SegmentRequest segment;
        segment.url = url;
        segment.range = ByteRange{offset, reference.size};
        segment.duration = double(reference.duration) / double(timescale);
        segment.sequence = sequence++;
        result.append(segment);
        offset += reference.size; // at most 2^16 references of less than 2^31 bytes
    }
    return result;
}
