// Feeds arbitrary bytes as the tag store's sidecar ("tags.json" in the data folder, where
// anything may have changed it), then reads, writes and forgets tags through it.
#include "base/Texts.h"
#include "library/TagStore.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/fuzz-tags-XXXXXX"));
    static const QString media = [] {
        Texts::init(QStringLiteral("EN"));
        TagStore::setExtendedAttributesEnabled(false);
        const QString path = dir.filePath(QStringLiteral("1700000000.mp3"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }();
    const QString sidecar = dir.filePath(QStringLiteral("tags.json"));
    QFile::remove(sidecar + QStringLiteral(".broken"));
    {
        QFile file(sidecar);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            __builtin_trap();
        file.write(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    // A new path each time drops the cached copy, as a fresh start would.
    TagStore::setSidecarPath(QString());
    TagStore::setSidecarPath(sidecar);
    for (const char* tag : {"title", "author", "comments", "deletion"})
        TagStore::read(media, QString::fromLatin1(tag));
    TagStore::isMarkedForDeletion(media);
    const QString title = QStringLiteral("Fuzzed \u00e9 title");
    if (!TagStore::write(media, QStringLiteral("title"), title))
        __builtin_trap();
    if (TagStore::read(media, QStringLiteral("title")) != title)
        __builtin_trap();
    TagStore::forget(media);
    if (TagStore::read(media, QStringLiteral("title")) != QLatin1String("Unnamed media file"))
        __builtin_trap();
    return 0;
}
