#include "library/DerivedFiles.h"

#include "base/AppPaths.h"
#include "library/ScrollerList.h"

#include <QFile>
#include <QFileInfo>

namespace DerivedFiles {

QString baseOf(const QString& fileNameOrPath)
{
    QString name = fileNameOrPath;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

bool remove(const QString& fileNameOrPath)
{
    const QString base = baseOf(fileNameOrPath);
    if (base.isEmpty())
        return false;
    using AppPaths::Folder;
    QFile::remove(AppPaths::folder(Folder::Icons16) + base + QStringLiteral(".bmp"));
    QFile::remove(AppPaths::folder(Folder::Icons32) + base + QStringLiteral(".bmp"));
    QFile::remove(AppPaths::folder(Folder::Thumbnails) + base + QStringLiteral(".jpg"));
    ScrollerList::inDataFolder().removeEntriesFor(base);
    return true;
}

} // namespace DerivedFiles
