#include "capture/CaptureHelper.h"

#include "base/Trace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kWakeMs = 250;
constexpr int kReasonBytes = 512;
constexpr int kStreamBufferBytes = 1 << 16;

QMutex s_programMutex;
QString s_program;

// The file header as pcap_dump writes it: its magic in this machine's byte order, for
// microsecond or nanosecond time stamps.
bool isStreamHeader(const QByteArray& header)
{
    quint32 magic = 0;
    std::memcpy(&magic, header.constData(), sizeof magic);
    return header.size() == CaptureHelper::kHeaderBytes && (magic == 0xa1b2c3d4u || magic == 0xa1b23c4du);
}

} // namespace

struct CaptureHelper::Cookie
{
    QByteArray header;
    qsizetype offset = 0;
    int fd = -1;
    const std::atomic<bool>* stop = nullptr;

    static ssize_t read(void* opaque, char* buffer, size_t size)
    {
        auto* self = static_cast<Cookie*>(opaque);
        if (self->offset < self->header.size()) {
            const size_t part = std::min(size, size_t(self->header.size() - self->offset));
            std::memcpy(buffer, self->header.constData() + self->offset, part);
            self->offset += qsizetype(part);
            return ssize_t(part);
        }
        for (;;) {
            // A stop request reads as the end of the stream.
            if (self->stop->load())
                return 0;
            pollfd wait{self->fd, POLLIN, 0};
            const int ready = poll(&wait, 1, kWakeMs);
            if (ready < 0 && errno != EINTR)
                return -1;
            if (ready <= 0)
                continue;
            const ssize_t got = ::read(self->fd, buffer, size);
            if (got >= 0)
                return got;
            if (errno != EINTR && errno != EAGAIN)
                return -1;
        }
    }
    static int close(void*) { return 0; } // the descriptor is the helper object's
};

QString CaptureHelper::program()
{
    {
        QMutexLocker lock(&s_programMutex);
        if (!s_program.isEmpty())
            return s_program;
    }
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" TRAWLIX_CAPTURE_HELPER_DIR "/trawlix-capture"));
}

void CaptureHelper::setProgram(const QString& path)
{
    QMutexLocker lock(&s_programMutex);
    s_program = path;
}

CaptureHelper::CaptureHelper(const QString& adapter)
    : m_adapter(adapter)
{
    const QByteArray path = QFile::encodeName(program());
    const QByteArray name = adapter.toLocal8Bit();
    int stream[2] = {-1, -1};
    int errors[2] = {-1, -1};
    if (pipe2(stream, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
        for (int fd : {stream[0], stream[1], errors[0], errors[1]})
            if (fd >= 0)
                ::close(fd);
        m_failure = QStringLiteral("no pipe for the capture helper");
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stream[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // An argument vector, never a shell; and no environment: the helper trusts none.
    char* const argv[] = {const_cast<char*>(path.constData()), const_cast<char*>("--interface"),
                          const_cast<char*>(name.constData()), nullptr};
    char* const envp[] = {nullptr};
    const int spawned = posix_spawn(&m_pid, path.constData(), &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(stream[1]);
    ::close(errors[1]);
    m_stream = stream[0];
    m_errors = errors[0];
    if (spawned != 0) {
        m_pid = -1;
        fail(QStringLiteral("cannot start %1: %2").arg(program(), QString::fromLocal8Bit(std::strerror(spawned))));
        return;
    }
    fcntl(m_stream, F_SETFL, fcntl(m_stream, F_GETFL) | O_NONBLOCK);
    fcntl(m_errors, F_SETFL, fcntl(m_errors, F_GETFL) | O_NONBLOCK);
    m_state = State::Starting;
}

CaptureHelper::~CaptureHelper()
{
    end();
    delete m_cookie;
}

CaptureHelper::State CaptureHelper::readHeader()
{
    if (m_state != State::Starting)
        return m_state;
    char buffer[kHeaderBytes];
    const ssize_t got = ::read(m_stream, buffer, size_t(kHeaderBytes - m_header.size()));
    if (got > 0) {
        m_header.append(buffer, got);
        if (m_header.size() < kHeaderBytes)
            return m_state;
        if (!isStreamHeader(m_header)) {
            fail(QStringLiteral("the capture helper wrote no capture stream"));
            return m_state;
        }
        m_state = State::Open;
        return m_state;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return m_state;
    // The helper ended before the adapter was open: its one line says why.
    fail(readReason());
    return m_state;
}

void CaptureHelper::fail(const QString& why)
{
    m_failure = why.isEmpty() ? QStringLiteral("cannot open") : why;
    m_state = State::Failed;
    trace(QStringLiteral("Func: capture, %1: %2").arg(m_adapter, m_failure));
    end();
}

QString CaptureHelper::readReason()
{
    if (m_pid > 0) {
        // It is on its way out; wait briefly for its line to be complete.
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            usleep(10000);
        }
    }
    QByteArray text;
    char buffer[kReasonBytes];
    ssize_t got = 0;
    while (text.size() < kReasonBytes && (got = ::read(m_errors, buffer, sizeof buffer)) > 0)
        text.append(buffer, got);
    text = text.left(kReasonBytes);
    const qsizetype lineEnd = text.indexOf('\n');
    if (lineEnd >= 0)
        text.truncate(lineEnd);
    static const QByteArray prefix = QByteArrayLiteral("trawlix-capture: ");
    if (text.startsWith(prefix))
        text.remove(0, prefix.size());
    return QString::fromLocal8Bit(text).trimmed();
}

std::FILE* CaptureHelper::openStream(const std::atomic<bool>& stop)
{
    if (m_state != State::Open || m_cookie)
        return nullptr;
    m_cookie = new Cookie{m_header, 0, m_stream, &stop};
    const cookie_io_functions_t functions{&Cookie::read, nullptr, nullptr, &Cookie::close};
    std::FILE* file = fopencookie(m_cookie, "r", functions);
    if (file)
        setvbuf(file, nullptr, _IOFBF, kStreamBufferBytes);
    return file;
}

void CaptureHelper::end()
{
    if (m_pid > 0) {
        // The helper keeps nothing that needs an orderly end.
        kill(m_pid, SIGKILL);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    for (int* fd : {&m_stream, &m_errors}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
