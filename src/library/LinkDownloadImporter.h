#pragma once

#include "library/LibraryContext.h"

// Moves finished link downloads from "TempDownloads/" into the library, one pass per call. A
// file still written, still named ".part", or not yet readable as media (video and audio, or
// audio for " - Only Audio" names) stays for a later pass.
namespace LinkDownloadImporter {

// Returns how many files entered the library.
int pass(const LibraryContext& context);

// Whether ffmpeg's report of a file shows what its name promises.
bool looksComplete(const QString& fileName, const QString& ffmpegOutput);

} // namespace LinkDownloadImporter
