// Feeds arbitrary bytes to the audio-title readers: the ID3v2 scan of a file's first bytes and
// the parser of ffmpeg's metadata dump. Both read files that anyone can place in the library.
#include "library/AudioNames.h"
#include "library/Id3Scan.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Id3Names names = Id3Scan::scan(bytes);
    // Every name is a slice of the input.
    if (names.title.size() > bytes.size() || names.artist.size() > bytes.size())
        __builtin_trap();
    // The same bytes behind an ID3 header, so the frame scan is reached for most inputs.
    QByteArray tagged("ID3\x03\x00\x00\x00\x00\x1f\x7f", 10);
    tagged.append(bytes);
    Id3Scan::scan(tagged);
    AudioNames::parseMetadataDump(QString::fromUtf8(bytes));
    return 0;
}
