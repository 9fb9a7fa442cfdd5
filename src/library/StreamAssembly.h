#pragma once

#include "download/StreamDownload.h"
#include "library/LibraryContext.h"

#include <QString>
#include <QStringList>

class DownloadRows;

// Turns a finished stream into a library file: the file the download muxed is moved into
// "Videos/" under the download's base through LibraryTarget (its duration checked against the
// programme's, within a segment); a live recording's joined tracks are muxed here with
// `ffmpeg -c copy` into MP4 (Matroska when the codecs do not fit MP4, or when the MP4 mux fails).
// Then the file is tagged with its title and page and inserted into the media table; the row goes
// and, once placed, the stream's folder in "Temp/".
// A live recording that ended early (its result's reason) is told to the user as a notice.
// Runs on the stream's download thread.
namespace StreamAssembly {

enum class Outcome
{
    Registered,
    PlacingFailed, // nothing went into the library; the tracks stay in "Temp/"
};

Outcome
run(const LibraryContext& context, DownloadRows& rows, qsizetype recordIndex, const StreamDownload::Result& result);

} // namespace StreamAssembly
