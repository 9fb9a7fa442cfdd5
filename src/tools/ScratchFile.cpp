#include "tools/ScratchFile.h"

#include "base/MoveNoReplace.h"
#include "base/OutputName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int TagLength = 6;
// Names tried before giving up: the tag has 62^6 values, so a clash is already rare.
constexpr int CreateAttempts = 100;
// " (N)" names tried for a taken final name.
constexpr int FreeNameAttempts = 10000;

QString prefixOf(ScratchFile::Kind kind)
{
    switch (kind) {
    case ScratchFile::Kind::Cutting:
        return QStringLiteral(".cutting-");
    case ScratchFile::Kind::Copying:
        return QStringLiteral(".copying-");
    case ScratchFile::Kind::Converting:
        break;
    }
    return QStringLiteral(".part-");
}

QString randomTag()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < TagLength; ++i)
        tag += QLatin1Char(letters[QRandomGenerator::global()->bounded(static_cast<int>(sizeof letters - 1))]);
    return tag;
}

// Creates path exclusively and locks it before any other process can see it: an unnamed file
// gets its name only once locked. Where the file system has no unnamed files, the name is
// created with O_EXCL and locked at once after.
int createLocked(const QString& folder, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int unnamed = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (unnamed >= 0) {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(unnamed);
        if (::flock(unnamed, LOCK_EX | LOCK_NB) == 0 &&
            ::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return unnamed;
        const int error = errno;
        ::close(unnamed);
        if (error == EEXIST)
            return -1;
    }
    const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0)
        ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

} // namespace

ScratchFile::ScratchFile(const QString& finalPath, Kind kind)
{
    const QFileInfo info(finalPath);
    const QString folder = info.absolutePath();
    for (int attempt = 0; attempt < CreateAttempts && m_fd < 0; ++attempt) {
        const QString path =
            folder + QLatin1Char('/') + prefixOf(kind) + randomTag() + QLatin1Char('-') + info.fileName();
        m_fd = createLocked(folder, path);
        if (m_fd >= 0)
            m_path = path;
        else if (errno != EEXIST)
            break;
    }
}

ScratchFile::~ScratchFile()
{
    if (m_fd < 0)
        return;
    if (!m_moved) {
        // Only the file this object made: if something else took the name since, it stays.
        struct stat mine
        {
        };
        struct stat there
        {
        };
        const QByteArray name = QFile::encodeName(m_path);
        if (::fstat(m_fd, &mine) == 0 && ::lstat(name.constData(), &there) == 0 && mine.st_dev == there.st_dev &&
            mine.st_ino == there.st_ino)
            ::unlink(name.constData());
    }
    ::close(m_fd);
}

QString ScratchFile::moveIn(const QString& finalPath)
{
    if (m_fd < 0 || m_moved)
        return {};
    const QByteArray from = QFile::encodeName(m_path);
    for (int n = 1; n < FreeNameAttempts; ++n) {
        const QString candidate = OutputName::numbered(finalPath, n);
        if (moveNoReplace(from, QFile::encodeName(candidate))) {
            m_moved = true;
            return candidate;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

QString ScratchFile::moveOver(const QString& finalPath, const struct stat& agreed)
{
    if (m_fd < 0 || m_moved)
        return {};
    struct stat there
    {
    };
    const QByteArray to = QFile::encodeName(finalPath);
    // A new file may get the inode number of a removed one, but not its change time too.
    if (::lstat(to.constData(), &there) == 0 && S_ISREG(there.st_mode) && there.st_dev == agreed.st_dev &&
        there.st_ino == agreed.st_ino && there.st_ctim.tv_sec == agreed.st_ctim.tv_sec &&
        there.st_ctim.tv_nsec == agreed.st_ctim.tv_nsec &&
        ::rename(QFile::encodeName(m_path).constData(), to.constData()) == 0) {
        m_moved = true;
        return finalPath;
    }
    return moveIn(finalPath);
}

bool ScratchFile::isScratchName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.(part|cutting|copying)-[A-Za-z0-9]{6}-."));
    return pattern.match(fileName).hasMatch();
}

int ScratchFile::removeStale(const QString& folder)
{
    if (folder.isEmpty())
        return 0;
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fileName : names) {
        if (!isScratchName(fileName))
            continue;
        const QByteArray name = QFile::encodeName(QDir(folder).filePath(fileName));
        // Non-blocking, and never through a link: the name may not be what it seems.
        const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info
        {
        };
        struct stat there
        {
        };
        // A held lock means a running job owns the file.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(name.constData(), &there) == 0 && there.st_dev == info.st_dev && there.st_ino == info.st_ino &&
            ::unlink(name.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}
