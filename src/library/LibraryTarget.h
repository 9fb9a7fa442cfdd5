#pragma once

#include <QString>

// A path in "Videos/" for a file entering the library at a given second: seconds + extension,
// moved on to the next second while a file of that base exists (under any extension), so that
// two imports of one second never overwrite each other or share pictures. extension comes with
// its dot.
namespace LibraryTarget {

QString freePath(qint64 seconds, const QString& extension);

} // namespace LibraryTarget
