#include "download/StreamFeed.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace StreamFeed {
namespace {

// How long one wait for the reader lasts before `cancelled` is asked again.
constexpr int kPollMs = 100;
constexpr auto kOpenRetry = std::chrono::milliseconds(10);
// How long a full FIFO is left to drain: ffmpeg takes about 300 MB/s out of it here, so a
// fraction of the 1 MiB it holds.
constexpr auto kDrain = std::chrono::microseconds(2000);
// Bytes moved at a time; also the FIFO's buffer when the system allows it (fewer wake-ups of the
// reader than with the default 64 KiB).
constexpr int kChunk = 1 << 20;

// A write into a FIFO whose reader is gone raises SIGPIPE at the writing thread, which would end
// the program. Held blocked while the feed runs, and a pending one is taken before it ends.
class PipeSignalHeld final
{
public:
    PipeSignalHeld()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~PipeSignalHeld()
    {
        const timespec none{};
        while (::sigtimedwait(&m_pipe, nullptr, &none) == SIGPIPE) {
        }
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld&) = delete;
    PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_previous{};
};

class Descriptor final
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }

private:
    int m_fd;
};

bool isType(int fd, mode_t type)
{
    struct stat status
    {
    };
    return ::fstat(fd, &status) == 0 && (status.st_mode & S_IFMT) == type;
}

// The write end, once the reader has opened the FIFO; -1 when cancelled or it cannot be had.
int openWriteEnd(const QString& fifo, const Cancelled& cancelled, Outcome& why)
{
    const QByteArray path = QFile::encodeName(fifo);
    for (;;) {
        if (cancelled()) {
            why = Outcome::Cancelled;
            return -1;
        }
        // Non-blocking: without a reader this fails with ENXIO instead of waiting for ever.
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            if (isType(fd, S_IFIFO))
                return fd;
            ::close(fd);
            why = Outcome::Failed;
            return -1;
        }
        if (errno != ENXIO && errno != EINTR) {
            why = Outcome::Failed;
            return -1;
        }
        std::this_thread::sleep_for(kOpenRetry);
    }
}

// Waits until out takes bytes again (or reports an error the next write returns); false when
// cancelled meanwhile. A full FIFO is first left to drain for a moment: woken at its first free
// page, the feed and the reader would take turns a page at a time, a switch between processes
// for every 32 KiB ffmpeg reads, which on a busy machine made the mux half again as slow as
// from a file.
bool writable(int out, const Cancelled& cancelled)
{
    std::this_thread::sleep_for(kDrain);
    pollfd entry{out, POLLOUT, 0};
    for (;;) {
        if (cancelled())
            return false;
        const int ready = ::poll(&entry, 1, kPollMs);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
    }
}

Outcome writeAll(int out, const char* data, ssize_t size, const Cancelled& cancelled)
{
    while (size > 0) {
        const ssize_t wrote = ::write(out, data, size_t(size));
        if (wrote > 0) {
            data += wrote;
            size -= wrote;
            continue;
        }
        if (wrote < 0 && errno == EPIPE)
            return Outcome::ReaderGone;
        if (wrote < 0 && errno != EAGAIN && errno != EINTR)
            return Outcome::Failed;
        if (!writable(out, cancelled))
            return Outcome::Cancelled;
    }
    return Outcome::Fed;
}

// One file into the FIFO: spliced (the pages go from the page cache into the pipe without a
// copy through this process), read and written where splice is refused.
Outcome copyFile(const QString& file, int out, const Cancelled& cancelled)
{
    const Descriptor in(::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0 || !isType(in.get(), S_IFREG))
        return Outcome::Failed;
    bool splicing = true;
    QByteArray buffer;
    for (;;) {
        if (cancelled())
            return Outcome::Cancelled;
        if (splicing) {
            const ssize_t moved =
                ::splice(in.get(), nullptr, out, nullptr, size_t(kChunk), SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (moved > 0)
                continue;
            if (moved == 0)
                return Outcome::Fed;
            if (errno == EINVAL || errno == ENOSYS) {
                splicing = false;
                continue;
            }
            if (errno == EPIPE)
                return Outcome::ReaderGone;
            if (errno != EAGAIN && errno != EINTR)
                return Outcome::Failed;
            if (!writable(out, cancelled))
                return Outcome::Cancelled;
            continue;
        }
        buffer.resize(kChunk);
        const ssize_t got = ::read(in.get(), buffer.data(), size_t(buffer.size()));
        if (got == 0)
            return Outcome::Fed;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Outcome::Failed;
        }
        const Outcome wrote = writeAll(out, buffer.constData(), got, cancelled);
        if (wrote != Outcome::Fed)
            return wrote;
    }
}

} // namespace

Outcome feed(const QString& fifo, const QStringList& files, const Wait& wait, const Cancelled& cancelled)
{
    const PipeSignalHeld held;
    Outcome why = Outcome::Failed;
    const Descriptor out(openWriteEnd(fifo, cancelled, why));
    if (out.get() < 0)
        return why;
    ::fcntl(out.get(), F_SETPIPE_SZ, kChunk);
    for (const QString& file : files) {
        if (!wait(file))
            return Outcome::Cancelled;
        const Outcome copied = copyFile(file, out.get(), cancelled);
        if (copied != Outcome::Fed)
            return copied;
    }
    return Outcome::Fed;
}

} // namespace StreamFeed
