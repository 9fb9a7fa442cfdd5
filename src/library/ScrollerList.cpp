#include "library/ScrollerList.h"

#include "base/AppPaths.h"
#include "library/DerivedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <tinyxml2.h>

namespace {

QMutex g_mutex;

constexpr char kRoot[] = "slideshow";
constexpr char kPhoto[] = "photo";

enum class Load
{
    Loaded,
    Missing,
    Broken,
};

Load load(const QString& path, tinyxml2::XMLDocument& document)
{
    QFile file(path);
    if (!file.exists())
        return Load::Missing;
    if (!file.open(QIODevice::ReadOnly) || file.size() > ScrollerList::MaxFileBytes)
        return Load::Broken;
    // At most the size just checked, even if the file grows meanwhile.
    const QByteArray bytes = file.read(file.size());
    // The scroller reads the list with a strict reader; a list it could not show (text outside
    // the root, bytes that are not UTF-8) is not extended either.
    QXmlStreamReader strict(bytes);
    while (!strict.atEnd())
        strict.readNext();
    if (strict.hasError())
        return Load::Broken;
    if (document.Parse(bytes.constData(), static_cast<size_t>(bytes.size())) != tinyxml2::XML_SUCCESS)
        return Load::Broken;
    const tinyxml2::XMLElement* root = document.RootElement();
    return root && std::string_view(root->Name()) == kRoot ? Load::Loaded : Load::Broken;
}

bool save(const QString& path, const tinyxml2::XMLDocument& document)
{
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The printer's size counts the terminating NUL.
    file.write(printer.CStr(), printer.CStrSize() > 0 ? printer.CStrSize() - 1 : 0);
    return file.commit();
}

} // namespace

ScrollerList::ScrollerList(QString xmlPath)
    : m_path(std::move(xmlPath))
{}

ScrollerList ScrollerList::inDataFolder()
{
    return ScrollerList(AppPaths::file(QStringLiteral("videos.xml")));
}

QString ScrollerList::imageOf(const QString& base)
{
    return AppPaths::folderName(AppPaths::Folder::Thumbnails) + QLatin1Char('/') + base + QStringLiteral(".jpg");
}

bool ScrollerList::createIfMissing() const
{
    QMutexLocker lock(&g_mutex);
    QFile file(m_path);
    // NewOnly: an existing file, even an empty one, is never touched.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    return file.write("<slideshow />", 13) == 13;
}

bool ScrollerList::addEntry(const QString& base, const QString& videoFileName, const QString& duration)
{
    QMutexLocker lock(&g_mutex);
    tinyxml2::XMLDocument document;
    switch (load(m_path, document)) {
    case Load::Broken:
        return false;
    case Load::Missing:
        document.InsertEndChild(document.NewElement(kRoot));
        break;
    case Load::Loaded:
        break;
    }
    tinyxml2::XMLElement* root = document.RootElement();
    // Drop the oldest (last) entries first, so that the list never holds more than MaxEntries.
    int count = 0;
    for (const tinyxml2::XMLElement* photo = root->FirstChildElement(kPhoto); photo;
         photo = photo->NextSiblingElement(kPhoto))
        ++count;
    while (count >= MaxEntries) {
        root->DeleteChild(root->LastChildElement(kPhoto));
        --count;
    }
    tinyxml2::XMLElement* photo = document.NewElement(kPhoto);
    photo->SetAttribute("image", imageOf(base).toUtf8().constData());
    photo->SetAttribute("video", videoFileName.toUtf8().constData());
    photo->SetText(duration.left(8).toUtf8().constData());
    root->InsertFirstChild(photo);
    return save(m_path, document);
}

int ScrollerList::removeEntriesFor(const QString& base)
{
    // An empty base would name no file; never let it match every entry.
    if (base.isEmpty())
        return 0;
    QMutexLocker lock(&g_mutex);
    tinyxml2::XMLDocument document;
    if (load(m_path, document) != Load::Loaded)
        return 0;
    tinyxml2::XMLElement* root = document.RootElement();
    int removed = 0;
    tinyxml2::XMLElement* photo = root->FirstChildElement(kPhoto);
    while (photo) {
        tinyxml2::XMLElement* next = photo->NextSiblingElement(kPhoto);
        // Lists written on another system may use backslashes; baseOf takes both.
        const QString image = QString::fromUtf8(photo->Attribute("image") ? photo->Attribute("image") : "");
        if (DerivedFiles::baseOf(image).compare(base, Qt::CaseInsensitive) == 0) {
            root->DeleteChild(photo);
            ++removed;
        }
        photo = next;
    }
    if (removed > 0)
        save(m_path, document);
    return removed;
}

QList<ScrollerList::Entry> ScrollerList::entries() const
{
    QMutexLocker lock(&g_mutex);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return {};
    // At most the size just checked, even if the file grows meanwhile.
    const QByteArray bytes = file.read(file.size());
    const QDir folder = QFileInfo(m_path).absoluteDir();
    QXmlStreamReader reader(bytes);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String(kRoot))
        return {};
    QList<Entry> list;
    while (list.size() < MaxEntries && reader.readNextStartElement()) {
        if (reader.name() != QLatin1String(kPhoto)) {
            reader.skipCurrentElement();
            continue;
        }
        Entry entry;
        const QXmlStreamAttributes attributes = reader.attributes();
        // Entries written on another system may use backslashes.
        QString image = attributes.value(QLatin1String("image")).toString();
        image.replace(QLatin1Char('\\'), QLatin1Char('/'));
        entry.imagePath = image.isEmpty() ? QString() : folder.absoluteFilePath(image);
        entry.video = attributes.value(QLatin1String("video")).toString();
        entry.duration = reader.readElementText(QXmlStreamReader::SkipChildElements);
        list.append(entry);
    }
    return list;
}
