#pragma once

#include <QString>

// The pictures made from a library file: its icons in "16x16/" and "32x32/", its thumbnail in
// "160x90/" and its entry in the scroller's list, all named by the file's base.
namespace DerivedFiles {

// The base of a library file given by name or path: its file name up to the first dot.
QString baseOf(const QString& fileNameOrPath);

// Deletes the icons and the thumbnail of a library file and removes its scroller entries.
// The still frame in "Screens/" and the media file itself stay (the caller deletes the file).
// Returns false when the name gives no base (nothing is touched then).
bool remove(const QString& fileNameOrPath);

} // namespace DerivedFiles
