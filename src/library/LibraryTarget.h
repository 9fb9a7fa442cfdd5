#pragma once

#include <QString>

// Paths in "Videos/" for files entering the library. A base name names a library file and all
// its pictures, so a base is free only while nothing on disk uses it (BaseNames::takenOnDisk).
// extension comes with its dot.
namespace LibraryTarget {

// seconds + extension, moved on to the next second while that base is taken, so that two
// files of one second never overwrite each other or share pictures.
QString freePath(qint64 seconds, const QString& extension);

// Moves staged (a finished file on the same file system) into "Videos/" under the first free
// base from seconds on. The move never replaces a file, also when another thread takes the
// same name at the same moment. Returns the new path, or the empty text when it failed (the
// staged file then stays where it was).
QString moveIn(const QString& staged, qint64 seconds, const QString& extension);

} // namespace LibraryTarget
