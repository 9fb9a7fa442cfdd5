#pragma once

struct CommandLine;

// `trawlix --list-profiles`: the converter's profiles, one "GROUP/NAME" a line.
int runListProfiles(const CommandLine& commandLine);

// `trawlix --convert FILE --profile "GROUP/NAME" [--output DIR]`: the converter's job without a
// window. Prints the percentage once a second; on failure prints ffmpeg's last error line and
// returns non-zero. SIGINT or SIGTERM stop the conversion and remove its partial output.
int runConvert(int argc, char** argv, const CommandLine& commandLine);
