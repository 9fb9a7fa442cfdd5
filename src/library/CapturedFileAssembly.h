#pragma once

#include "library/LibraryContext.h"

class DownloadRows;

// Turns the part files of a finished download into a library file: joins them in "Temp/",
// places the result in "Videos/" (ffmpeg remux with "repairvideos", else a plain copy) under
// the download's base, or the next free one when an earlier file has that base, tags
// it with its title and page, inserts it into the media table and removes the download row.
// Runs on the download worker that completed the record; several may run at once.
namespace CapturedFileAssembly {

enum class Outcome
{
    Registered,    // the file is in the library and the table
    NothingJoined, // parts were missing; they stay in "Temp/"
    PlacingFailed, // no usable library file came out
};

Outcome run(const LibraryContext& context, DownloadRows& rows, qsizetype recordIndex);

// The site icon of a page address: its host, or "DefaultAudio"/"DefaultVideo" when the address
// names no path after the host.
QString iconNameFor(const QString& pageAddress, const QString& extension);

// The record as it stands once the probe has found its page title, or after 3 s: the probe
// looks for the title while the download runs, and a short one can be done first. A file named
// "Unnamed media file" for good is worse than a moment's wait.
VideoFile awaitTitle(const LibraryContext& context, qsizetype recordIndex, VideoFile record);

} // namespace CapturedFileAssembly
