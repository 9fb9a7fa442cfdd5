#include "tools/FamilyGuard.h"

#include "tools/DefaultSignals.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace FamilyGuard {
namespace {

// The groups the guard can hold; a program with more tools at once than this is not Trawlix.
constexpr int MaxGroups = 4096;

struct Record
{
    std::int32_t add; // 1 adds the group, 0 removes it
    std::int32_t group;
};

int g_fd = -1;
pid_t g_guard = -1;
bool g_failed = false;

// The guard's whole life. A fork of a threaded program may only make async-signal-safe calls
// until it execs, and the guard never does: plain system calls and fixed arrays only.
[[noreturn]] void guard(int readFd)
{
    restoreDefaultSignals();
    // Its own session: a Ctrl-C for Trawlix's terminal is not for the guard.
    ::setsid();
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::prctl(PR_SET_NAME, "trawlix-guard");
    // Nothing of Trawlix is held: a tool's pipe kept open here would never end.
    const unsigned keep = static_cast<unsigned>(readFd);
    if (keep > 0)
        ::close_range(0, keep - 1, 0);
    ::close_range(keep + 1, ~0U, 0);

    static pid_t groups[MaxGroups];
    int count = 0;
    static char buffer[sizeof(Record) * 64];
    std::size_t held = 0;
    for (;;) {
        const ssize_t got = ::read(readFd, buffer + held, sizeof buffer - held);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        held += static_cast<std::size_t>(got);
        std::size_t used = 0;
        for (; held - used >= sizeof(Record); used += sizeof(Record)) {
            Record record{};
            __builtin_memcpy(&record, buffer + used, sizeof record);
            if (record.group <= 1)
                continue;
            if (record.add) {
                if (count < MaxGroups)
                    groups[count++] = record.group;
            } else {
                for (int i = 0; i < count; ++i) {
                    if (groups[i] == record.group) {
                        groups[i] = groups[--count];
                        break;
                    }
                }
            }
        }
        for (std::size_t i = used; i < held; ++i)
            buffer[i - used] = buffer[i];
        held -= used;
    }
    // Trawlix is gone: so are the families of its tools.
    for (int i = 0; i < count; ++i)
        ::kill(-groups[i], SIGKILL);
    ::_exit(0);
}

bool start()
{
    if (g_fd >= 0)
        return true;
    if (g_failed)
        return false;
    // A socket rather than a pipe: a write to a guard that is gone must fail, not raise SIGPIPE.
    int fds[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        g_failed = true;
        return false;
    }
    // Reports the guard's pid back, so the middle process can go at once.
    int pidPipe[2] = {-1, -1};
    if (::pipe2(pidPipe, O_CLOEXEC) != 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        g_failed = true;
        return false;
    }
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t middle = ::fork();
    if (middle == 0) {
        // Forked twice, so the guard is nobody's child here: Trawlix never reaps it, and a
        // test that counts this process's children does not see it.
        const pid_t guardPid = ::fork();
        if (guardPid == 0) {
            ::close(pidPipe[0]);
            ::close(pidPipe[1]);
            ::close(fds[1]);
            guard(fds[0]);
        }
        (void)!::write(pidPipe[1], &guardPid, sizeof guardPid);
        ::_exit(0);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(fds[0]);
    ::close(pidPipe[1]);
    pid_t guardPid = -1;
    if (middle > 0) {
        while (::read(pidPipe[0], &guardPid, sizeof guardPid) < 0 && errno == EINTR) {
        }
        while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(pidPipe[0]);
    if (middle < 0 || guardPid <= 0) {
        ::close(fds[1]);
        g_failed = true;
        return false;
    }
    // A full buffer must not block a tool's start.
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    g_fd = fds[1];
    g_guard = guardPid;
    return true;
}

void send(int fd, std::int32_t add, pid_t group)
{
    const Record record{add, static_cast<std::int32_t>(group)};
    (void)!::send(fd, &record, sizeof record, MSG_NOSIGNAL);
}

} // namespace

int channel()
{
    return start() ? g_fd : -1;
}

void addSelf(int channel)
{
    if (channel >= 0)
        send(channel, 1, ::getpid());
}

void remove(pid_t group)
{
    if (g_fd >= 0)
        send(g_fd, 0, group);
}

pid_t guardPid()
{
    return g_guard;
}

} // namespace FamilyGuard
