// Feeds arbitrary bytes, in chunks whose sizes the input chooses, to the reader of ffmpeg's
// "-progress" reports and log, as the runner delivers them (one byte, one character).
#include "tools/FfmpegProgress.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype step = 1 + data[0] % 64;
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    FfmpegProgress progress;
    for (qsizetype at = 0; at < text.size(); at += step)
        progress.feed(QStringView(text).mid(at, step));
    progress.finish();
    for (const int total : {0, 1, 10, 3600, 2147483647}) {
        const int percent = progress.percent(total);
        if (percent < -1 || percent > 100)
            __builtin_trap();
    }
    if (progress.lastLogLine().size() > FfmpegProgress::MaxErrorLength)
        __builtin_trap();
    FfmpegProgress::parseClock(text);
    return 0;
}
