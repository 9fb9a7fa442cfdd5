#include "tools/ChildProcess.h"

#include "tools/ChildRegistry.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

// How long a tool may take to finish its file after SIGTERM before it is killed.
constexpr int TerminateGraceMs = 3000;

pid_t spawnTool(const QString& programPath, const ToolCommand& command, int writeFd)
{
    std::vector<QByteArray> storage;
    storage.reserve(static_cast<size_t>(command.arguments.size()) + 1);
    storage.push_back(QFile::encodeName(programPath));
    for (const QString& argument : command.arguments)
        storage.push_back(argument.toUtf8());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (QByteArray& bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeFd, STDERR_FILENO);
    // Nothing else reaches the tool: libraries open descriptors without close-on-exec (the
    // capture socket, connections, files), and a tool holding one would keep it open.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t emptySet;
    sigemptyset(&emptySet);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &emptySet);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

} // namespace

ChildProcess::ChildProcess(const QString& programPath, const ToolCommand& command)
{
    if (programPath.isEmpty())
        return;
    int fds[2] = {-1, -1};
    // Close-on-exec on both ends: a tool started by another job at the same moment must not
    // inherit this pipe, or this job's output would only end when that other tool ends.
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_pid = ChildRegistry::spawnAndAdd(programPath, [&] { return spawnTool(programPath, command, fds[1]); });
    ::close(fds[1]);
    if (m_pid <= 0) {
        ::close(fds[0]);
        m_pid = -1;
        return;
    }
    m_readFd = fds[0];
}

ChildProcess::~ChildProcess()
{
    finish();
}

ChildProcess::Read ChildProcess::read(QByteArray& chunk, int timeoutMs)
{
    chunk.clear();
    if (m_readFd < 0)
        return Read::End;
    if (m_terminating && !m_killed && nowMs() >= m_killDeadlineMs) {
        ChildRegistry::signalChild(m_pid, SIGKILL);
        m_killed = true;
    }
    pollfd entry{m_readFd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR))
        return Read::Idle;
    if (ready < 0)
        return Read::End;
    char buffer[ChunkSize];
    ssize_t got = -1;
    do {
        got = ::read(m_readFd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return Read::End;
    chunk = QByteArray(buffer, static_cast<qsizetype>(got));
    return Read::Data;
}

void ChildProcess::terminate()
{
    terminateWithin(TerminateGraceMs);
}

void ChildProcess::terminateWithin(int graceMs)
{
    if (!started() || m_terminating)
        return;
    m_terminating = true;
    m_killDeadlineMs = nowMs() + graceMs;
    ChildRegistry::signalChild(m_pid, SIGTERM);
}

void ChildProcess::closePipe()
{
    if (m_readFd >= 0) {
        ::close(m_readFd);
        m_readFd = -1;
    }
}

ChildProcess::Outcome ChildProcess::finish(int* exitCode)
{
    if (!m_finished) {
        m_finished = true;
        if (started()) {
            // A tool asked to stop gets its grace period to exit; only then is it killed.
            if (m_terminating && !m_killed) {
                QByteArray discard;
                while (read(discard, 50) != Read::End && !m_killed) {
                }
            }
            closePipe();
            // Wait without reaping, so the pid stays ours until the registry drops it.
            siginfo_t info{};
            while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
            }
            bool stopRequested = false;
            const int status = ChildRegistry::reapAndRemove(m_pid, &stopRequested);
            if (WIFEXITED(status)) {
                m_exitCode = WEXITSTATUS(status);
                m_outcome = stopRequested ? Outcome::Stopped : Outcome::Exited;
            } else {
                m_outcome = stopRequested ? Outcome::Stopped : Outcome::Signalled;
            }
        }
    }
    if (exitCode)
        *exitCode = m_exitCode;
    return m_outcome;
}
