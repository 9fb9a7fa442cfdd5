#include "library/LibraryTarget.h"

#include "base/AppPaths.h"

#include <QDir>

namespace LibraryTarget {

QString freePath(qint64 seconds, const QString& extension)
{
    const QDir folder(AppPaths::folder(AppPaths::Folder::Videos));
    for (;;) {
        // The base names the pictures too, so it must be free under every extension.
        const QString base = QString::number(seconds);
        if (folder.entryList({base, base + QStringLiteral(".*")}, QDir::Files | QDir::Hidden).isEmpty())
            return folder.filePath(base + extension);
        ++seconds;
    }
}

} // namespace LibraryTarget
