#include "tools/ChildRegistry.h"

#include "tools/FamilyGuard.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

namespace ChildRegistry {
namespace {

struct Entry
{
    QString fileName;
    bool stopRequested = false;
};

QMutex g_mutex;
QHash<pid_t, Entry> g_children;
bool g_refusing = false;

bool matches(const Entry& entry, const QString& nameFilter)
{
    return nameFilter.isEmpty() || entry.fileName.contains(nameFilter);
}

} // namespace

pid_t spawnAndAdd(const QString& programPath, const std::function<pid_t()>& spawn)
{
    QMutexLocker lock(&g_mutex);
    if (g_refusing)
        return -1;
    const pid_t pid = spawn();
    if (pid > 0)
        g_children.insert(pid, Entry{QFileInfo(programPath).fileName(), false});
    return pid;
}

int reapAndRemove(pid_t pid, bool* stopRequested)
{
    QMutexLocker lock(&g_mutex);
    const Entry entry = g_children.take(pid);
    if (stopRequested)
        *stopRequested = entry.stopRequested;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // Reaped, the id may be given to another program's group once this one is empty.
    FamilyGuard::remove(pid);
    return status;
}

int signalChildren(const QString& nameFilter, int signal)
{
    QMutexLocker lock(&g_mutex);
    int reached = 0;
    for (auto it = g_children.begin(); it != g_children.end(); ++it) {
        if (!matches(it.value(), nameFilter))
            continue;
        it->stopRequested = true;
        ::kill(-it.key(), signal);
        ++reached;
    }
    return reached;
}

void signalChild(pid_t pid, int signal)
{
    QMutexLocker lock(&g_mutex);
    const auto it = g_children.find(pid);
    if (it == g_children.end())
        return;
    it->stopRequested = true;
    ::kill(-pid, signal);
}

void setRefusing(bool refusing)
{
    QMutexLocker lock(&g_mutex);
    g_refusing = refusing;
}

int count(const QString& nameFilter)
{
    QMutexLocker lock(&g_mutex);
    return static_cast<int>(std::count_if(g_children.cbegin(), g_children.cend(),
                                          [&](const Entry& entry) { return matches(entry, nameFilter); }));
}

} // namespace ChildRegistry
