#pragma once

#include "library/LibraryContext.h"

// Moves finished recordings from "TempRecords/" into the library, one pass per call. A file is
// first seen ("UnKnown"), then watched while the recorder writes it ("RecordingNow"), imported
// once it is complete ("HasBeenRecorded") and never again in this run ("HasBeenImported").
// ".avi" video recordings become ".mp4"; sound recordings keep their extension. The library
// copy is checked (ffmpeg's exit status, its duration against the recording's) before it goes
// in, and only then does the recording leave "TempRecords/"; one that is still there at the next
// start (the program ended first, or the copy failed) is imported then. A WAV file whose ffmpeg was killed still has
// the placeholder sizes ffmpeg writes first; ffmpeg reads such a file to its end, and the library copy gets a correct
// header.
namespace RecordingsImporter {

void pass(const LibraryContext& context, TempRecordsFileArray& records);

// Runs passes until the recording fileName (in "TempRecords/") has been imported, waiting while
// it is still written, for at most timeoutMs. True when it reached the library.
bool importFinished(const LibraryContext& context,
                    TempRecordsFileArray& records,
                    const QString& fileName,
                    int timeoutMs = 30000);

} // namespace RecordingsImporter
