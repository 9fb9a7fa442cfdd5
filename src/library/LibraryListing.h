#pragma once

#include <QString>
#include <QStringList>

struct MediaRow;
class MediaTableModel;

// The media table as text, for `trawlix --headless --list` and the headless road: one line per
// row with title, capture time, size, format and duration, separated by tabs, each field with
// its control characters escaped (UntrustedText::forTerminal).
namespace LibraryListing {

QString line(const MediaRow& row);
QStringList lines(const MediaTableModel& table);

} // namespace LibraryListing
