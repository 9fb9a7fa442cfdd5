#include "library/LibraryListing.h"

#include "library/MediaTableModel.h"

namespace LibraryListing {

QString line(const MediaRow& row)
{
    return QStringList{row.title, row.captureTime, row.size, row.format, row.duration}.join(QLatin1Char('\t'));
}

QStringList lines(const MediaTableModel& table)
{
    QStringList out;
    for (const MediaRow& row : table.rows())
        out << line(row);
    return out;
}

} // namespace LibraryListing
