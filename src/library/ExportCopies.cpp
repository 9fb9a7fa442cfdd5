#include "library/ExportCopies.h"

#include "base/AppPaths.h"
#include "base/OpenFileScan.h"
#include "library/FileCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ExportCopies {

QStringList
make(const QList<Item>& items, const std::function<void(int percent)>& progress, const std::atomic<bool>* stop)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::TempExport);
    QDir().mkpath(folder);
    // Names come from titles: nothing but a plain name in this folder.
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
        const QString target = folder + item.name;
        QFile::remove(target); // a reader of the earlier copy keeps its bytes
        const qint64 size = QFileInfo(item.source).size();
        const bool copied = FileCopy::copy(
            item.source, target,
            [&](int percent) {
                const qint64 done = before + size * percent / 100;
                const int overall = total > 0 ? static_cast<int>(done * 100 / total) : 100;
                if (progress && overall != shown) {
                    shown = overall;
                    progress(overall);
                }
            },
            stop);
        before += size;
        if (copied)
            copies << target;
    }
    return copies;
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
