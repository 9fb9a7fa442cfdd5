// Feeds arbitrary bytes as "videos.xml" to its reader (the thumbnail scroller's view of the list)
// and to the writer that adds and removes entries. The file sits in the data folder, where
// anything may have changed it.
#include "library/ScrollerList.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/fuzz-scroller-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("videos.xml"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            __builtin_trap();
        file.write(bytes);
    }
    ScrollerList list(path);
    if (list.entries().size() > ScrollerList::MaxEntries)
        __builtin_trap();

    list.removeEntriesFor(QStringLiteral("1700000000"));
    if (list.addEntry(QStringLiteral("1700000001"), QStringLiteral("1700000001.mp4"), QStringLiteral("00:00:05.25"))) {
        // What the writer leaves is a list the scroller reads, new entry first.
        const QList<ScrollerList::Entry> entries = list.entries();
        if (entries.isEmpty() || entries.size() > ScrollerList::MaxEntries ||
            entries.first().video != QLatin1String("1700000001.mp4") ||
            entries.first().duration != QLatin1String("00:00:05"))
            __builtin_trap();
        if (list.removeEntriesFor(QStringLiteral("1700000001")) < 1)
            __builtin_trap();
    } else {
        // A list the writer refuses stays exactly as it was.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != bytes)
            __builtin_trap();
    }
    return 0;
}
