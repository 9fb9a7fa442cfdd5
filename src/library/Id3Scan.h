#pragma once

#include <QByteArrayView>
#include <QString>

// Title and artist found in the ID3v2 tag at the start of an audio file.
struct Id3Names
{
    QString title;
    QString artist;
};

// Reads the TIT2 (title) and TPE1 (artist) frames from the first bytes of a file. Only frames
// in ISO-8859-1 are taken; the frames are looked for at every byte offset of the tag (a frame is
// not skipped as a whole), and a later frame of the same kind replaces an earlier one. The bytes
// come from any file on disk, so every read is checked against the bytes given.
namespace Id3Scan {

// How much of a file the scan looks at.
inline constexpr int HeadSize = 4096;

Id3Names scan(QByteArrayView head);

} // namespace Id3Scan
