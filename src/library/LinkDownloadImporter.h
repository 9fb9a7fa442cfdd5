#pragma once

#include "library/LibraryContext.h"

#include <QStringList>

// Moves finished link downloads from "TempDownloads/" into the library, one pass per call. A
// file still written, still named ".part", or not yet readable as media (video and audio, or
// audio for " - Only Audio" names) stays for a later pass.
namespace LinkDownloadImporter {

// Returns how many files entered the library.
int pass(const LibraryContext& context);

// The same for the named files of "TempDownloads/" only (what one download left). Names whose
// file ffmpeg reads as something else than its name promises go to rejected (files still
// written or not moved stay out of it: a later pass may take them).
int importNames(const LibraryContext& context, const QStringList& names, QStringList* rejected = nullptr);

// The title a downloaded file's name carries: the text before its last "~".
QString titleOf(const QString& fileName);

// Whether ffmpeg's report of a file shows what its name promises.
bool looksComplete(const QString& fileName, const QString& ffmpegOutput);

} // namespace LinkDownloadImporter
