#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The texts of the media table's columns and the small name rules the library shares.
namespace LibraryFormat {

// "%d.%m.%Y %H:%M" in local time.
QString captureTime(const QDateTime& time);

// Mebibytes with one decimal and " Mb".
QString sizeText(qint64 bytes);

// The extension of the last path component in upper case without the dot; "UNKN" when none.
QString formatOf(const QString& path);

// The last path component without its extension (cut at the last dot).
QString baseOf(const QString& path);

// The duration "HH:MM:SS.cc" from ffprobe's JSON of "-show_entries format=duration", or "n/a".
// (ffmpeg's own "Duration: " line can be forged: it prints tag names raw, line breaks and all.)
QString durationFromProbe(const QString& ffprobeOutput);

// Whole seconds of a text that starts with "HH:MM:SS"; -1 when it does not.
int durationSeconds(QStringView text);

// The number in the first ten characters of a file name; 0 when the name does not start
// with digits (tutorial files, files placed by hand).
qint64 captureSecondsOfName(const QString& fileName);

// True for a file the program named by its capture time: a base of ASCII digits only, worth at
// least 1000 (tutorial files and files placed by hand are not).
bool isNamedByCaptureTime(const QString& fileName);

// The capture time the table shows for a library file: its name's time when it was named by
// capture time (the time the filters use), otherwise fileTime.
QDateTime captureTimeOf(const QString& fileName, const QDateTime& fileTime);

// The library scan's audio extensions (".MP3", ".WAV", ...), compared against a path's end.
bool isAudioPath(const QString& path);

// The 28 extensions that drag and drop and the open-file dialog accept (upper case, no dot).
const QStringList& importExtensions();
bool isImportable(const QString& path);

// The open-file dialog's one filter in Qt form ("Video & Audio (*.FLV *.MP4 ...)").
QString openFileFilter();

} // namespace LibraryFormat
