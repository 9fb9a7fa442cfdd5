#pragma once

#include <QIODevice>
#include <QString>

class QFile;

// A FIFO, a socket or a device in a folder the program reads would block a reader for ever (or
// never end), so library files and files the user hands over are read only when they are
// regular files.
namespace RegularFile {

// True when path itself is a regular file; a symbolic link is not, whatever it points to.
bool isRegular(const QString& path);

// Opens path into file (ReadOnly, ReadWrite or WriteOnly | Append) when the opened file is a
// regular file. The open never waits on a FIFO, and the type is read from the opened descriptor,
// so a file swapped for something else after a check is refused as well.
bool open(QFile& file, const QString& path, QIODevice::OpenMode mode);

} // namespace RegularFile
