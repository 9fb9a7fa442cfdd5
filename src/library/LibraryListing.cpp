#include "library/LibraryListing.h"

#include "base/UntrustedText.h"
#include "library/MediaTableModel.h"

namespace LibraryListing {

QString line(const MediaRow& row)
{
    // Titles come from the network and from tags: escaped field by field, so that a terminal
    // acts on none of their characters and a tab in one is no separator.
    QStringList fields{row.title, row.captureTime, row.size, row.format, row.duration};
    for (QString& field : fields)
        field = UntrustedText::forTerminal(field);
    return fields.join(QLatin1Char('\t'));
}

QStringList lines(const MediaTableModel& table)
{
    QStringList out;
    for (const MediaRow& row : table.rows())
        out << line(row);
    return out;
}

} // namespace LibraryListing
