// Feeds arbitrary bytes to the readers of tool output: ffprobe's stream JSON, ffprobe's duration
// JSON and the ffmetadata dump. A media file's tags reach all of them.
#include "library/AudioNames.h"
#include "library/LibraryFormat.h"
#include "tools/StreamInfo.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The runner widens each byte to one character.
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const StreamInfo::Shown& stream : StreamInfo::parse(text)) {
        if (stream.rows.size() > 11)
            __builtin_trap();
    }
    const QString duration = LibraryFormat::durationFromProbe(text);
    if (duration != QLatin1String("n/a") && LibraryFormat::durationSeconds(duration) < 0 && duration.size() < 12)
        __builtin_trap();
    AudioNames::parseMetadataDump(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
