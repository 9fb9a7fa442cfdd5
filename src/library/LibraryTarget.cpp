#include "library/LibraryTarget.h"

#include "app/AppPaths.h"

#include <QFileInfo>

namespace LibraryTarget {

QString freePath(qint64 seconds, const QString& extension)
{
    const QString folder = AppPaths::folder(AppPaths::Folder::Videos);
    for (;;) {
        const QString path = folder + QString::number(seconds) + extension;
        if (!QFileInfo::exists(path))
            return path;
        ++seconds;
    }
}

} // namespace LibraryTarget
