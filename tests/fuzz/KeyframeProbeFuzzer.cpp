// Feeds arbitrary bytes to the reader of ffprobe's keyframe report and to the keyframe lookup:
// a media file decides every time stamp in it.
#include "tools/KeyframeProbe.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The runner widens each byte to one character.
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const KeyframeProbe probe = KeyframeProbe::parse(text);
    if (probe.keyframesUs.size() > KeyframeProbe::MaxKeyframes)
        __builtin_trap();
    for (qsizetype i = 1; i < probe.keyframesUs.size(); ++i) {
        if (probe.keyframesUs.at(i - 1) >= probe.keyframesUs.at(i))
            __builtin_trap();
    }
    // The cut never starts after the chosen start, nor before the file's start.
    qint64 start = 0;
    if (size >= sizeof(start))
        std::memcpy(&start, data, sizeof(start));
    start = start < 0 ? -(start / 2) : start;
    start %= 100LL * 3600 * 1000 + 1;
    const qint64 cut = probe.cutStartMs(start);
    if (cut < 0 || cut > start)
        __builtin_trap();
    return 0;
}
