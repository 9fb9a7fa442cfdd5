#pragma once

#include "library/LibraryContext.h"

// Moves finished recordings from "TempRecords/" into the library, one pass per call. A file is
// first seen ("UnKnown"), then watched while the recorder writes it ("RecordingNow"), imported
// once it is complete ("HasBeenRecorded") and never again in this run ("HasBeenImported").
// ".avi" video recordings become ".mp4"; sound recordings keep their extension.
namespace RecordingsImporter {

void pass(const LibraryContext& context, TempRecordsFileArray& records);

} // namespace RecordingsImporter
