#include "ui/controls/SlideshowList.h"

#include "library/ScrollerList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace SlideshowList {

QList<SlideshowEntry> read(const QString& xmlPath)
{
    QFile file(xmlPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > ScrollerList::MaxFileBytes)
        return {};
    const QDir folder = QFileInfo(xmlPath).absoluteDir();
    QList<SlideshowEntry> entries;
    QXmlStreamReader reader(&file);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("slideshow"))
        return {};
    while (entries.size() < ScrollerList::MaxEntries && reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("photo")) {
            reader.skipCurrentElement();
            continue;
        }
        SlideshowEntry entry;
        const QXmlStreamAttributes attributes = reader.attributes();
        // Entries written on another system may use backslashes.
        QString image = attributes.value(QLatin1String("image")).toString();
        image.replace(QLatin1Char('\\'), QLatin1Char('/'));
        entry.imagePath = image.isEmpty() ? QString() : folder.absoluteFilePath(image);
        entry.video = attributes.value(QLatin1String("video")).toString();
        entry.duration = reader.readElementText(QXmlStreamReader::SkipChildElements);
        entries.append(entry);
    }
    // A list cut short or malformed further down still shows what was read before the fault.
    return entries;
}

} // namespace SlideshowList
