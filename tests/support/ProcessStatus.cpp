#include "support/ProcessStatus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace ProcessStatus {
namespace {

struct Stat
{
    QByteArray name;
    QByteArray state;
    qint64 parent = 0;
};

// "pid (comm) state ppid ...": the name may hold spaces and parentheses, so it is cut at the last ')'.
bool readStat(qint64 pid, Stat& stat)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    const qsizetype open = text.indexOf('(');
    const qsizetype close = text.lastIndexOf(')');
    if (open < 0 || close < open)
        return false;
    const QList<QByteArray> rest = text.mid(close + 2).split(' ');
    if (rest.size() < 2)
        return false;
    stat.name = text.mid(open + 1, close - open - 1);
    stat.state = rest.at(0);
    stat.parent = rest.at(1).toLongLong();
    return true;
}

} // namespace

QByteArray value(qint64 pid, const char* key)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return {};
}

QList<qint64> children(qint64 parent, const QByteArray& name)
{
    QList<qint64> pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        Stat stat;
        if (number && readStat(pid, stat) && stat.parent == parent && stat.name == name && stat.state != "Z")
            pids << pid;
    }
    return pids;
}

bool gone(qint64 pid)
{
    Stat stat;
    return !readStat(pid, stat) || stat.state == "Z";
}

std::optional<qint64> holderOf(const QString& path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : pids) {
        bool number = false;
        const qint64 pid = name.toLongLong(&number);
        if (!number || pid == ::getpid())
            continue;
        QDirIterator fds(QStringLiteral("/proc/%1/fd").arg(pid), QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        while (fds.hasNext()) {
            if (QFile::symLinkTarget(fds.next()) == target)
                return pid;
        }
    }
    return std::nullopt;
}

qint64 readBytes(qint64 pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:")) {
            bool number = false;
            const qint64 bytes = line.mid(6).trimmed().toLongLong(&number);
            return number ? bytes : -1;
        }
    }
    return -1;
}

} // namespace ProcessStatus
