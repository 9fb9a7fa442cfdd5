#pragma once

#include "library/LibraryContext.h"

#include <QStringList>

// Moves finished link downloads from "TempDownloads/" into the library, one pass per call. A
// file with at least one video or audio stream goes in (a song, a silent clip); one still
// written, still named ".part", or with no stream ffprobe can read stays where it is, so that a
// download is never lost for being what its name did not promise.
namespace LinkDownloadImporter {

// Returns how many files entered the library.
int pass(const LibraryContext& context);

// The same for the named files of "TempDownloads/" only (what one download left). Names whose
// file ffprobe read and found no stream in go to rejected; the files stay, and the trace says
// why (files still written or not moved stay out of it: a later pass may take them).
int importNames(const LibraryContext& context, const QStringList& names, QStringList* rejected = nullptr);

// Keeps the files of one download ("Title~MARK.ext") out of every other Trawlix process's
// passes while it lives, through a locked ".held-MARK" in "TempDownloads/": a download by link
// run beside the desktop program imports its own file, with its page, and the desktop's pass
// leaves it alone. A hold whose process ended (the lock went with it) holds nothing.
class Hold final
{
public:
    explicit Hold(const QString& mark);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    QString m_mark;
    QString m_path;
    int m_fd = -1;
};

// True when another process holds the download that fileName belongs to.
bool isHeldElsewhere(const QString& fileName);

// The title a downloaded file's name carries: the text before its last "~".
QString titleOf(const QString& fileName);

// The streams ffprobe's JSON report ("-show_entries stream=codec_type:stream_disposition=
// attached_pic") lists. A song's cover picture is no video; other stream kinds count as neither.
struct Streams
{
    int video = 0;
    int audio = 0;
    bool any() const { return video > 0 || audio > 0; }
};
Streams streamsOf(const QString& ffprobeOutput);

// The most of ffprobe's report that is read; a longer one is no report of a downloaded file.
inline constexpr qsizetype MaxProbeOutput = 1024 * 1024;

} // namespace LinkDownloadImporter
