#pragma once

#include "download/StreamDownload.h"
#include "library/LibraryContext.h"

#include <QString>
#include <QStringList>

class DownloadRows;

// Turns the joined tracks of a finished stream into a library file: muxed with `ffmpeg -c copy`
// into MP4 (Matroska when the codecs do not fit MP4, or when the MP4 mux fails), placed in
// "Videos/" under the download's base through LibraryTarget, tagged with its title and page,
// inserted into the media table; the row goes and, once placed, the stream's folder in "Temp/".
// A live recording that ended early (its result's reason) is told to the user as a notice.
// Runs on the stream's download thread.
namespace StreamAssembly {

enum class Outcome
{
    Registered,
    PlacingFailed, // nothing went into the library; the tracks stay in "Temp/"
};

// ".mp4", or ".mkv" when an RFC 6381 codec of the plan has no place in MP4 (VP8, Vorbis,
// Theora, WebVTT).
QString containerFor(const StreamPlan& plan);

// The ffmpeg arguments after "-i <first track>": the other tracks as inputs, the video of the
// first and the sound of the second when there are two, every stream copied.
QStringList muxArguments(const QStringList& trackFiles);

Outcome
run(const LibraryContext& context, DownloadRows& rows, qsizetype recordIndex, const StreamDownload::Result& result);

} // namespace StreamAssembly
