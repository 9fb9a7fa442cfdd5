#include "library/FileBusy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FileBusy {
namespace {

// "flags:" in fdinfo is octal; the access mode is its two low bits.
bool writable(const QString& fdinfoPath)
{
    QFile info(fdinfoPath);
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (line.startsWith("flags:")) {
            bool ok = false;
            const uint flags = line.mid(6).trimmed().toUInt(&ok, 8);
            return ok && (flags & 3u) != 0;
        }
    }
    return false;
}

} // namespace

bool isOpenForWriting(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : processes) {
        if (pid.isEmpty() || !pid.front().isDigit())
            continue;
        const QString fdDir = QStringLiteral("/proc/") + pid + QStringLiteral("/fd/");
        const QStringList fds = QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& fd : fds) {
            if (QFile::symLinkTarget(fdDir + fd) == target &&
                writable(QStringLiteral("/proc/") + pid + QStringLiteral("/fdinfo/") + fd))
                return true;
        }
    }
    return false;
}

} // namespace FileBusy
