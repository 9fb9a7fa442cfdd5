#include "library/AudioNames.h"

#include <QStringList>

namespace AudioNames {
namespace {

// ffmetadata escapes '=', ';', '#', '\' and newlines with a backslash.
QString unescape(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size())
            ++i;
        out += value[i];
    }
    return out;
}

} // namespace

Names parseMetadataDump(const QString& text)
{
    Names names;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.startsWith(QLatin1Char(';')))
            continue;
        // Only the keys themselves: "album_artist" or "subtitle" must not pass for them.
        const QStringView key = QStringView(line).first(eq).trimmed();
        const QString value = unescape(QStringView(line).sliced(eq + 1)).trimmed();
        if (key.compare(QLatin1String("title"), Qt::CaseInsensitive) == 0)
            names.title = value;
        else if (key.compare(QLatin1String("artist"), Qt::CaseInsensitive) == 0)
            names.artist = value;
    }
    return names;
}

QString compose(const QString& title, const QString& artist, const QString& cacheTime)
{
    if (!title.isEmpty() && !artist.isEmpty())
        return artist + QStringLiteral(" - ") + title;
    if (!title.isEmpty())
        return title;
    if (!artist.isEmpty())
        return artist;
    return QStringLiteral("MP3-файл от ") + cacheTime;
}

} // namespace AudioNames
