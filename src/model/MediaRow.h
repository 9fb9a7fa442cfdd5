#pragma once

#include <QString>

// One row of the media table: the texts of columns 0 to 7 and the keys the sort commands use.
struct MediaRow
{
    QString title;       // column 0
    QString captureTime; // column 1, "dd.MM.yyyy HH:mm"
    QString size;        // column 2, "12.3 Mb"
    QString format;      // column 3, "MP4"
    QString duration;    // column 4, "HH:MM:SS"
    QString author;      // column 6, the source page
    QString path;        // column 7, the file's full path
    qint32 imageIndex = -1;

    // Sort keys: the texts above do not sort by value.
    qint64 captureSeconds = 0;
    qint64 sizeBytes = 0;
    bool checked = false;
};
