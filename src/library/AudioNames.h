#pragma once

#include <QString>

// The text rules of the audio title, apart from reading the file.
namespace AudioNames {

// The names read from an ffmetadata dump (one "key=value" line per tag).
struct Names
{
    QString title;
    QString artist;
};
Names parseMetadataDump(const QString& text);

// Joins the names: both "artist - title", one alone, or the fallback text + cacheTime.
QString compose(const QString& title, const QString& artist, const QString& cacheTime);

} // namespace AudioNames
