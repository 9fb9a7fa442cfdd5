#pragma once

#include "library/LibraryContext.h"

#include <QString>

// Rebuilds the media table from the regular files in "Videos/" (no FIFOs, devices, sockets or
// links) under a time filter and a title filter.
// Durations come from each file's "comments" tag; only a file that has none is measured (and
// the result cached there), so a library scanned once starts no ffmpeg at all.
namespace LibraryScan {

struct Request
{
    QString timeFilter = QStringLiteral("all");
    QString titleFilter;
};

struct Result
{
    int listed = 0;   // rows put into the table
    int measured = 0; // files whose duration had to be measured
};

Result run(const LibraryContext& context, const Request& request);

// The fixed title of a tutorial file ("00.mp4", "000.mp4", "!!.mp4"); empty for other names.
QString tutorialTitle(const QString& fileName);

} // namespace LibraryScan
