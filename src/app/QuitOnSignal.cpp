#include "app/QuitOnSignal.h"

#include "tools/ToolRunner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onQuitSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

enum class Woken
{
    Signal,
    Closed, // the object goes: the exit path is done
    Timeout,
};

// Waits up to timeoutMs (forever when negative) for a signal's byte or the end of wakeFd.
Woken waitFor(int wakeFd, int timeoutMs, int* signal)
{
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    for (;;) {
        pollfd entries[2] = {{g_pipe[0], POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int remaining = timeoutMs < 0 ? -1 : static_cast<int>(deadline.remainingTime());
        const int ready = ::poll(entries, 2, remaining);
        if (ready < 0 && errno == EINTR)
            continue;
        if (entries[1].revents != 0)
            return Woken::Closed;
        if (entries[0].revents & POLLIN) {
            char byte = 0;
            if (::read(g_pipe[0], &byte, 1) == 1) {
                *signal = byte;
                return Woken::Signal;
            }
            continue;
        }
        if (ready <= 0 || deadline.hasExpired())
            return Woken::Timeout;
    }
}

} // namespace

QuitOnSignal::QuitOnSignal(QObject* parent)
    : QObject(parent)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        return;
    // Signals that came before this object (a second one) are not pending any more.
    char buffer[16];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    struct sigaction action
    {
    };
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    m_watch = std::thread([this] { watch(); });
}

QuitOnSignal::~QuitOnSignal()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (m_wake[1] >= 0) {
        ::close(m_wake[1]);
        m_wake[1] = -1;
    }
    if (m_watch.joinable())
        m_watch.join();
    if (m_wake[0] >= 0)
        ::close(m_wake[0]);
}

void QuitOnSignal::watch()
{
    int signal = 0;
    if (waitFor(m_wake[0], -1, &signal) != Woken::Signal)
        return;
    auto answered = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [answered] {
            answered->store(true);
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    int again = 0;
    Woken woken = waitFor(m_wake[0], LoopAnswerMs, &again);
    if (woken == Woken::Timeout && answered->load())
        woken = waitFor(m_wake[0], ExitGraceMs - LoopAnswerMs, &again);
    if (woken == Woken::Closed)
        return;
    // Stuck, or told twice: the tools end (so none outlives the program), then the program.
    std::fprintf(stderr, "trawlix: ending at once (signal %d)\n", signal);
    std::fflush(stderr);
    ToolRunner::closeDown();
    std::_Exit(128 + signal);
}
