#include "library/Id3Scan.h"

namespace Id3Scan {
namespace {

constexpr int kHeaderSize = 10;

// Seven low bits of each of four bytes, most significant first.
qint64 synchsafe(QByteArrayView bytes, qsizetype at)
{
    qint64 value = 0;
    for (qsizetype i = 0; i < 4; ++i)
        value = (value << 7) | (static_cast<unsigned char>(bytes[at + i]) & 0x7F);
    return value;
}

// A plain 32-bit number, most significant byte first.
qint64 bigEndian(QByteArrayView bytes, qsizetype at)
{
    qint64 value = 0;
    for (qsizetype i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

bool isFrame(QByteArrayView bytes, qsizetype at, const char (&id)[5])
{
    return bytes.size() - at >= 4 && bytes.sliced(at, 4) == QByteArrayView(id, 4);
}

// Sets out to the frame's text when the frame is stored as ISO-8859-1; false for other encodings.
// Frame sizes are synchsafe only from v2.4 on; v2.3 stores plain numbers (the tag size in the
// header is synchsafe in both).
bool latinText(QByteArrayView bytes, qsizetype frame, bool synchsafeSizes, QString& out)
{
    // The size and the encoding byte must lie inside what was read.
    if (bytes.size() - frame < kHeaderSize + 1)
        return false;
    const qint64 size = synchsafeSizes ? synchsafe(bytes, frame + 4) : bigEndian(bytes, frame + 4);
    const auto encoding = static_cast<unsigned char>(bytes[frame + 10]);
    qsizetype start = frame + 10;
    qint64 length = size;
    if (encoding <= 3) {
        if (encoding != 0)
            return false; // UTF-16, UTF-16BE and UTF-8 frames are left to the metadata dump
        start = frame + 11;
        length = size - 1;
    }
    length = qBound<qint64>(0, length, bytes.size() - start);
    QByteArrayView text = bytes.sliced(start, static_cast<qsizetype>(length));
    // A terminating NUL belongs to the frame, not to the name.
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text = text.first(nul);
    out = QString::fromLatin1(text);
    return true;
}

} // namespace

Id3Names scan(QByteArrayView head)
{
    Id3Names names;
    if (head.size() > HeadSize)
        head = head.first(HeadSize);
    if (head.size() < kHeaderSize || !head.startsWith("ID3"))
        return names;
    const qint64 tagSize = qMin<qint64>(synchsafe(head, 6), HeadSize);
    const qsizetype end = static_cast<qsizetype>(qMin<qint64>(tagSize, head.size()));
    const bool synchsafeSizes = static_cast<unsigned char>(head[3]) >= 4;
    for (qsizetype at = kHeaderSize; at < end; ++at) {
        if (isFrame(head, at, "TIT2"))
            latinText(head, at, synchsafeSizes, names.title);
        else if (isFrame(head, at, "TPE1"))
            latinText(head, at, synchsafeSizes, names.artist);
    }
    return names;
}

} // namespace Id3Scan
