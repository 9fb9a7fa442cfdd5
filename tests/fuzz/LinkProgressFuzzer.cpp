// Feeds arbitrary bytes, in arbitrary chunks, to the reader of what yt-dlp prints during a link
// download (a page's title and the server's answers reach it), and to the index-field rules.
#include "tools/LinkCommand.h"
#include "tools/LinkProgress.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    LinkProgress progress;
    // The first byte chooses the chunk size, so lines split at every place get tried.
    const qsizetype step = size > 0 ? 1 + data[0] % 64 : 1;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        progress.feed(bytes.mid(at, step));
    progress.finish();
    const QString status = progress.statusText();
    if (status.count(u'\n') >= LinkProgress::MaxBlockLines)
        __builtin_trap();
    for (const QString& line : status.split(u'\n')) {
        // A line is kept to its bound (a readable progress line is short in any case).
        if (line.size() > LinkProgress::MaxLineBytes)
            __builtin_trap();
    }
    if (progress.percent() > 100 || (progress.itemCount() > 0 && progress.item() > progress.itemCount()))
        __builtin_trap();
    if (progress.errorLine().size() > 500)
        __builtin_trap();
    (void)progress.caption();

    const QString text = QString::fromUtf8(bytes);
    const QString cleaned = LinkCommand::cleanIndexes(text);
    if (cleaned.size() > LinkCommand::MaxItemsLength)
        __builtin_trap();
    (void)LinkCommand::validIndexes(cleaned);
    (void)LinkCommand::isPlaylistAddress(text);
    (void)LinkCommand::addressProblem(text);
    return 0;
}
