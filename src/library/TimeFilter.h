#pragma once

#include <QString>
#include <QStringList>

// The library's time filter: "all", "30", "7", "3" or "24" (any other text counts as "all").
namespace TimeFilter {

// Seconds back from now that the filter shows; 0 for "all". "24" is one hour, as its English
// label says.
qint64 span(const QString& filter);

// Files whose name time is below this are hidden.
qint64 threshold(const QString& filter, qint64 now);

// The filter chosen once at start from the names of the library's files: the narrowest span
// that holds at least 51 files, counted by whole days ("24" counts the last 86400 s).
QString defaultFor(const QStringList& fileNames, qint64 now);

// The same for the files now in "Videos/" (the main window's choice before the first scan).
QString defaultForLibrary(qint64 now);

} // namespace TimeFilter
