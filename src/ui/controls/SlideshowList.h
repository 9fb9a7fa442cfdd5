#pragma once

#include <QList>
#include <QString>

// Reads the thumbnail strip's list ("videos.xml": a "slideshow" root of "photo" elements,
// each with the duration as text and the attributes "image" and "video").
struct SlideshowEntry
{
    QString duration;  // "HH:MM:SS"
    QString imagePath; // absolute, resolved against the list's folder
    QString video;     // the library file's name
};

namespace SlideshowList {

// The first ScrollerList::MaxEntries "photo" elements of the list in document order; empty when
// the file is missing, larger than ScrollerList::MaxFileBytes or malformed.
QList<SlideshowEntry> read(const QString& xmlPath);

} // namespace SlideshowList
