#include "tools/ChildProcess.h"

#include "tools/ChildRegistry.h"
#include "tools/DefaultSignals.h"
#include "tools/FamilyGuard.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

// How long a tool may take to finish its file after SIGTERM before it is killed.
constexpr int TerminateGraceMs = 3000;

// Everything the child needs, prepared before fork(): between fork() and exec() a child of a
// threaded program may only make async-signal-safe calls, so it must not allocate.
struct Launch
{
    std::vector<QByteArray> storage;
    std::vector<char*> argv;
    pid_t parent = 0;
    int writeFd = -1;
    int errorFd = -1;
    int guardFd = -1;
};

// The child's side: its own process group, default signal handling, the death signal, the
// descriptors, then the tool. A failure is reported through errorFd (closed on exec).
[[noreturn]] void becomeTool(const Launch& launch)
{
    restoreDefaultSignals();
    ::setpgid(0, 0);
    // The tool dies with Trawlix, however Trawlix ends (kill -9, a crash). The signal comes when
    // the thread that forked ends, and every runner waits for its tool on that thread. If
    // Trawlix died before the request took effect, the tool is already an orphan: it ends now.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != launch.parent)
        ::_exit(127);
    // Before anything of the tool runs, so no child of its escapes the guard's list.
    FamilyGuard::addSelf(launch.guardFd);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    int error = 0;
    const int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(launch.writeFd, STDOUT_FILENO) < 0 ||
        ::dup2(launch.writeFd, STDERR_FILENO) < 0) {
        error = errno;
    } else {
        // Nothing else reaches the tool: libraries open descriptors without close-on-exec (the
        // capture socket, connections, files), and a tool holding one would keep it open. The
        // error pipe stays until exec closes it.
        const unsigned errorFd = static_cast<unsigned>(launch.errorFd);
        if (errorFd > STDERR_FILENO + 1)
            ::close_range(STDERR_FILENO + 1, errorFd - 1, 0);
        ::close_range(errorFd + 1, ~0U, 0);
        ::execve(launch.argv.front(), launch.argv.data(), environ);
        error = errno;
    }
    (void)!::write(launch.errorFd, &error, sizeof error);
    ::_exit(127);
}

pid_t spawnTool(const QString& programPath, const ToolCommand& command, int writeFd)
{
    Launch launch;
    launch.storage.reserve(static_cast<size_t>(command.arguments.size()) + 1);
    launch.storage.push_back(QFile::encodeName(programPath));
    for (const QString& argument : command.arguments)
        launch.storage.push_back(argument.toUtf8());
    launch.argv.reserve(launch.storage.size() + 1);
    for (QByteArray& bytes : launch.storage)
        launch.argv.push_back(bytes.data());
    launch.argv.push_back(nullptr);
    launch.parent = ::getpid();
    launch.writeFd = writeFd;
    launch.guardFd = FamilyGuard::channel();

    // The child writes errno here when it cannot become the tool; end of file means exec worked.
    int errorPipe[2] = {-1, -1};
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return -1;
    launch.errorFd = errorPipe[1];

    // No handler of this program may run in the child before it has reset them.
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeTool(launch);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(errorPipe[1]);
    if (pid < 0) {
        ::close(errorPipe[0]);
        return -1;
    }
    // The group is set from both sides, so a signal to it right after this returns reaches the tool.
    ::setpgid(pid, pid);
    int error = 0;
    ssize_t got = -1;
    do {
        got = ::read(errorPipe[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (got > 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        FamilyGuard::remove(pid);
        return -1;
    }
    return pid;
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
