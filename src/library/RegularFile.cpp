#include "library/RegularFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

bool isRegular(const QString& path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool open(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    int flags = O_RDONLY;
    if (mode.testFlag(QIODevice::ReadWrite))
        flags = O_RDWR;
    else if (mode.testFlag(QIODevice::WriteOnly))
        flags = O_WRONLY;
    if (mode.testFlag(QIODevice::Append))
        flags |= O_APPEND;
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status = {};
    // Reads of a regular file never block; the flag only kept the open itself from waiting.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        !file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace RegularFile
