#pragma once

#include "app/CommandLine.h"

// `trawlix --download-link URL [--audio-only] [--playlist-items LIST]`: the downloader's job
// without a window. Prints one progress line a second, imports what arrived into the library
// and exits 0 when everything asked for arrived; otherwise 1 with the tool's error line.
int runDownloadLink(int argc, char** argv, const CommandLine& commandLine);
