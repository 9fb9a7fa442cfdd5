#include "library/LibraryTarget.h"

#include "base/AppPaths.h"
#include "model/BaseNames.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace LibraryTarget {
namespace {

// Choosing a base and moving the file in are one step for every thread of the program.
std::mutex g_placing;

qint64 firstFree(qint64 seconds)
{
    while (BaseNames::takenOnDisk(QString::number(seconds)))
        ++seconds;
    return seconds;
}

// rename() that fails with EEXIST instead of replacing the target.
bool moveNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link is just as exclusive.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

QString freePath(qint64 seconds, const QString& extension)
{
    const qint64 free = firstFree(seconds);
    return AppPaths::folder(AppPaths::Folder::Videos) + QString::number(free) + extension;
}

QString moveIn(const QString& staged, qint64 seconds, const QString& extension)
{
    std::lock_guard lock(g_placing);
    const QByteArray from = QFile::encodeName(staged);
    // A name taken between the listing and the move (by a program outside this one) only
    // moves the file on; the bound keeps a hostile folder from holding the thread.
    for (int attempt = 0; attempt < 100; ++attempt) {
        seconds = firstFree(seconds);
        const QString target = AppPaths::folder(AppPaths::Folder::Videos) + QString::number(seconds) + extension;
        if (moveNoReplace(from, QFile::encodeName(target)))
            return target;
        if (errno != EEXIST)
            return {};
        ++seconds;
    }
    return {};
}

} // namespace LibraryTarget
