#include "library/ExportCopies.h"

#include "base/AppPaths.h"
#include "base/OpenFileScan.h"
#include "library/FileCopy.h"
#include "tools/ScratchFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ExportCopies {

namespace {

// The one copy loop: items with a plain name only (names come from titles), overall whole
// percentages of all the bytes. copyOne copies an item under folder + name, reports its own
// percentages, and returns the path it made (empty when it failed).
QStringList
copyEach(const QList<Item>& items,
         const QString& folder,
         const std::function<QString(
             const Item& item, const QString& target, const std::function<void(int percent)>& percent)>& copyOne,
         const std::function<void(int percent)>& progress,
         const std::atomic<bool>* stop)
{
    QList<Item> valid;
    qint64 total = 0;
    for (const Item& item : items) {
        if (item.name.isEmpty() || item.name.contains(QLatin1Char('/')) || item.name == QLatin1String(".") ||
            item.name == QLatin1String(".."))
            continue;
        valid.append(item);
        total += QFileInfo(item.source).size();
    }
    qint64 before = 0; // bytes of the items copied so far
    int shown = -1;
    QStringList copies;
    for (const Item& item : std::as_const(valid)) {
        if (stop && stop->load())
            break;
        const qint64 size = QFileInfo(item.source).size();
        const QString made = copyOne(item, folder + item.name, [&](int percent) {
            const qint64 done = before + size * percent / 100;
            const int overall = total > 0 ? static_cast<int>(done * 100 / total) : 100;
            if (progress && overall != shown) {
                shown = overall;
                progress(overall);
            }
        });
        before += size;
        if (!made.isEmpty())
            copies << made;
    }
    return copies;
}

} // namespace

QStringList
make(const QList<Item>& items, const std::function<void(int percent)>& progress, const std::atomic<bool>* stop)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempExport);
    QDir().mkpath(folder);
    const auto copyOne = [stop](const Item& item, const QString& target, const std::function<void(int)>& percent) {
        QFile::remove(target); // a reader of the earlier copy keeps its bytes
        return FileCopy::copy(item.source, target, percent, stop) ? target : QString();
    };
    return copyEach(items, folder, copyOne, progress, stop);
}

QStringList copyInto(const QList<Item>& items,
                     const QString& folder,
                     const std::function<void(int percent)>& progress,
                     const std::atomic<bool>* stop)
{
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    const auto copyOne = [stop](const Item& item, const QString& target, const std::function<void(int)>& percent) {
        // Removed by its destructor unless moved in.
        ScratchFile scratch(target, ScratchFile::Kind::Copying);
        if (!scratch.valid() || !FileCopy::copy(item.source, scratch.path(), percent, stop))
            return QString();
        return scratch.moveIn(target);
    };
    return copyEach(items, prefix, copyOne, progress, stop);
}

QStringList removeUnlessOpen(const QStringList& copies)
{
    if (copies.isEmpty())
        return {};
    const OpenFileScan open;
    QStringList staying;
    for (const QString& copy : copies) {
        if (open.isOpen(copy))
            staying << copy;
        else
            QFile::remove(copy);
    }
    return staying;
}

int clean()
{
    const QFileInfoList entries =
        QDir(AppPaths::folder(AppPaths::Folder::TempExport))
            .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList files;
    int folders = 0;
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            ++folders;
        else
            files << entry.absoluteFilePath();
    }
    const QStringList staying = removeUnlessOpen(files);
    return folders + static_cast<int>(staying.size());
}

} // namespace ExportCopies
