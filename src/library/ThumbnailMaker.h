#pragma once

#include "tools/ToolCommand.h"

#include <QString>

#include <optional>

// The pictures derived from a library file: the 160x90 thumbnail (listed in "videos.xml" for the
// scroller), the square still frame in "Screens/", and the 32x32 and 16x16 list icons. Every
// picture is made by one ffmpeg run; a failed run simply leaves the picture out.
namespace ThumbnailMaker {

// Where the thumbnail and still frame are taken: none for audio, a quarter of the duration for
// a file named by its capture time (base >= 1000), otherwise second 1.
std::optional<int> seekSeconds(const QString& base, const QString& durationText, bool audio);

ToolCommand thumbnailCommand(const QString& path, const QString& base, std::optional<int> seek);
// crop is "in_h" (a centred square of the frame's height) or "in_w" for portrait frames.
ToolCommand stillFrameCommand(const QString& path, const QString& base, std::optional<int> seek, const QString& crop);
ToolCommand largeIconCommand(const QString& base);
// The small icon from a picture in "FavIcons/" (a site icon) or, for the scan, any source path.
ToolCommand smallIconCommand(const QString& sourcePath, const QString& base);

// Whether a still-frame run failed in a way a portrait crop can mend. ffmpeg has worded the
// filter failure differently over the years, so the missing picture decides as well.
bool stillFrameNeedsRetry(const QString& output, const QString& picturePath);

// Makes the thumbnail and the still frame (the thumbnail's "videos.xml" entry included). Returns
// true when a thumbnail was written and listed, so the caller knows to reload the scroller.
bool makeThumbnailAndStill(const QString& path, const QString& base, const QString& durationText, bool audio);

// Makes the 32x32 icon from the still frame and the 16x16 icon from iconSource.
void makeIcons(const QString& base, const QString& iconSource);

} // namespace ThumbnailMaker
