#include "capture/TcpHeaderLocator.h"

namespace TcpHeaderLocator {
namespace {

constexpr qsizetype kDefaultHeaderLength = 20;
constexpr qsizetype kLongestHeader = 60; // data offset 15 * 4

bool isHttpPortAt(const ByteView& frame, qsizetype at)
{
    quint16 port = 0;
    return frame.be16(at, port) && (port == 8080 || port == 80);
}

bool lengthFits(const ByteView& frame, qsizetype headerStart, qsizetype messageAt)
{
    quint8 dataOffset = 0;
    return frame.u8(headerStart + 12, dataOffset) && qsizetype(dataOffset >> 4) * 4 == messageAt - headerStart;
}

// Port pairs at positions p (the pair occupies p and p + 1, both before `at`) are examined from
// the nearest backwards; the header starts `portOffset` bytes before its pair. The first
// header whose length reaches exactly to `at` wins; failing that, the pair nearest the frame's
// start; failing that, a plain 20-byte header. Only pairs within the longest header length of
// `at` can pass the length test, so the far part of the walk only needs the first pair.
qsizetype locate(const ByteView& frame, qsizetype at, qsizetype portOffset)
{
    const qsizetype lowest = portOffset; // the header must not start before the frame
    const qsizetype nearest = at - 2;
    const qsizetype lengthLimit = at - kLongestHeader + portOffset;
    for (qsizetype p = nearest; p >= lowest && p >= lengthLimit; --p) {
        if (isHttpPortAt(frame, p) && lengthFits(frame, p - portOffset, at))
            return p - portOffset;
    }
    for (qsizetype p = lowest; p <= nearest; ++p) {
        if (isHttpPortAt(frame, p))
            return p - portOffset;
    }
    const qsizetype fallback = at - kDefaultHeaderLength;
    return fallback >= 0 ? fallback : -1;
}

} // namespace

qsizetype forRequest(const ByteView& frame, qsizetype at)
{
    return locate(frame, at, 2);
}

qsizetype forResponse(const ByteView& frame, qsizetype at)
{
    return locate(frame, at, 0);
}

} // namespace TcpHeaderLocator
