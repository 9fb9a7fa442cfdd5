#include "library/AudioNames.h"

namespace AudioNames {
Names parseMetadataDump(const QString& text)
{
    // ffmetadata escapes '=', ';', '#', '\\' and line breaks inside keys and values with a
    // backslash, so a line is split at unescaped breaks only, and its key ends at the first
    // unescaped '='. Splitting first would let a tag's own text (or a tag named "x\ntitle")
    // pass for a title line. Only the global tags before the first "[STREAM]" or "[CHAPTER]"
    // section are the file's names.
    Names names;
    QString key;
    QString value;
    bool inValue = false;
    bool lineStart = true;
    bool comment = false;
    const auto endLine = [&] {
        if (!comment && inValue) {
            const QString trimmedKey = key.trimmed();
            if (trimmedKey.compare(QLatin1String("title"), Qt::CaseInsensitive) == 0)
                names.title = value.trimmed();
            else if (trimmedKey.compare(QLatin1String("artist"), Qt::CaseInsensitive) == 0)
                names.artist = value.trimmed();
        }
        key.clear();
        value.clear();
        inValue = false;
        lineStart = true;
        comment = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (lineStart) {
            lineStart = false;
            if (c == u'[')
                return names;
            comment = c == u';' || c == u'#';
        }
        if (c == u'\n') {
            endLine();
            continue;
        }
        if (c == u'\\') {
            if (i + 1 == text.size())
                break; // an escape of nothing
            c = text[++i];
        } else if (c == u'=' && !inValue) {
            inValue = true;
            continue;
        }
        if (comment)
            continue;
        (inValue ? value : key) += c;
    }
    endLine();
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
