// Feeds arbitrary titles and file names to the rules that turn them into names on disk and into
// the names the library shows: output names for exports and conversions, bases, formats,
// capture times and the audio title's "artist - title". Titles come from web pages and tags.
#include "base/OutputName.h"
#include "base/Texts.h"
#include "library/AudioNames.h"
#include "library/DerivedFiles.h"
#include "library/LibraryFormat.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool textsReady = [] {
        Texts::init(QStringLiteral("EN"));
        return true;
    }();
    (void)textsReady;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first byte chooses how much the caller reserves for its suffix.
    const qsizetype reserved = size > 0 ? data[0] % 64 : 0;
    const QString name = OutputName::clean(text, reserved);
    const QByteArray bytes = name.toUtf8();
    if (name.isEmpty() || bytes.size() > OutputName::MaxNameBytes - reserved)
        __builtin_trap();
    if (QString::fromUtf8(bytes) != name) // every character has its UTF-8 form
        __builtin_trap();
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u'\x7f')
            __builtin_trap();
    }
    if (name != name.trimmed())
        __builtin_trap();

    const QString base = DerivedFiles::baseOf(text);
    if (base.contains(QLatin1Char('/')) || base.contains(QLatin1Char('.')))
        __builtin_trap();
    LibraryFormat::formatOf(text);
    LibraryFormat::baseOf(text);
    LibraryFormat::isAudioPath(text);
    LibraryFormat::isImportable(text);
    LibraryFormat::captureSecondsOfName(text);
    LibraryFormat::durationSeconds(text);
    const qsizetype half = text.size() / 2;
    AudioNames::compose(text.left(half), text.mid(half), QStringLiteral("1700000000"));
    return 0;
}
