#include "support/FaultServer.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int StallLimitMs = 20000; // a stall ends here at the latest, or when the client leaves

// Reads the request head (up to the blank line); empty when the client went away.
QByteArray readHead(int socket)
{
    QByteArray head;
    char buffer[4096];
    while (!head.contains("\r\n\r\n") && head.size() < 65536) {
        pollfd pfd{socket, POLLIN, 0};
        if (poll(&pfd, 1, 5000) <= 0)
            return {};
        const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        head.append(buffer, got);
    }
    return head;
}

FaultServer::Request parseRequest(const QByteArray& head)
{
    FaultServer::Request request;
    request.raw = head;
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return request;
    const QList<QByteArray> first = lines.first().trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    return request;
}

// "bytes=A-B" or "bytes=A-"; false for anything else.
bool parseRange(const QByteArray& value, qint64 size, qint64& from, qint64& to)
{
    if (!value.startsWith("bytes="))
        return false;
    const QByteArray range = value.mid(6);
    const qsizetype dash = range.indexOf('-');
    if (dash <= 0)
        return false;
    bool ok = false;
    from = range.left(dash).toLongLong(&ok);
    if (!ok)
        return false;
    const QByteArray end = range.mid(dash + 1);
    to = end.isEmpty() ? size - 1 : end.toLongLong(&ok);
    if (!ok)
        return false;
    to = qMin(to, size - 1);
    return from <= to;
}

const char* reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    default:
        return "Status";
    }
}

} // namespace

FaultServer::FaultServer() = default;

FaultServer::~FaultServer()
{
    stop();
}

bool FaultServer::start()
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return false;
    const int yes = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listener, 64) != 0) {
        close(m_listener);
        m_listener = -1;
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void FaultServer::stop()
{
    if (m_listener < 0)
        return;
    m_stopping = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::list<std::thread> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (std::thread& connection : connections)
        connection.join();
    close(m_listener);
    m_listener = -1;
}

QString FaultServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void FaultServer::setRoute(const QByteArray& path, const Route& route)
{
    std::lock_guard lock(m_mutex);
    m_routes.insert(path, route);
}

QList<FaultServer::Request> FaultServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QList<FaultServer::Request> FaultServer::requestsFor(const QByteArray& path) const
{
    QList<Request> result;
    for (const Request& request : requests()) {
        if (request.path == path)
            result.append(request);
    }
    return result;
}

void FaultServer::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

void FaultServer::acceptLoop()
{
    while (!m_stopping) {
        pollfd pfd{m_listener, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0)
            continue;
        const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_connections.emplace_back([this, connection] {
            serve(connection);
            close(connection);
        });
    }
}

void FaultServer::serve(int socket)
{
    const QByteArray head = readHead(socket);
    if (head.isEmpty())
        return;
    const Request request = parseRequest(head);
    {
        std::lock_guard lock(m_mutex);
        m_requests.append(request);
    }
    answer(socket, request);
}

bool FaultServer::sendAll(int socket, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t sent = send(socket, data, size_t(size), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= sent;
    }
    return true;
}

void FaultServer::stall(int socket)
{
    // Keeps the connection open without sending, until the client gives up or the limit.
    const QDeadlineTimer deadline(StallLimitMs);
    char buffer[256];
    while (!m_stopping && !deadline.hasExpired()) {
        pollfd pfd{socket, POLLIN, 0};
        if (poll(&pfd, 1, 50) > 0 && recv(socket, buffer, sizeof buffer, 0) <= 0)
            return;
    }
}

void FaultServer::answer(int socket, const Request& request)
{
    Route route;
    bool known = false;
    {
        std::lock_guard lock(m_mutex);
        const QByteArray path = request.path.left(request.path.indexOf('?'));
        auto it = m_routes.find(request.path);
        if (it == m_routes.end())
            it = m_routes.find(path);
        if (it != m_routes.end()) {
            known = true;
            route = *it;
        }
    }
    if (!known) {
        const QByteArray text = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sendAll(socket, text.constData(), text.size());
        return;
    }
    if (!route.requireCookie.isEmpty() && !request.headers.value("cookie").contains(route.requireCookie)) {
        const QByteArray text = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sendAll(socket, text.constData(), text.size());
        return;
    }

    const qint64 size = route.body.size();
    qint64 from = 0;
    qint64 to = size - 1;
    int status = route.status;
    const QByteArray range = request.headers.value("range");
    if (!range.isEmpty() && route.honourRanges && route.status == 200 && parseRange(range, size, from, to)) {
        if (from == route.wholeBodyForRangeFrom) {
            from = 0;
            to = size - 1;
        } else {
            status = 206;
        }
        if (from == route.oddRangeFrom) {
            from = qBound<qint64>(0, from + route.oddStartShift, size - 1);
            to = qBound<qint64>(from, to + route.oddEndShift, size - 1);
        } else {
            route.oddContentRange.clear();
        }
    }

    // Stalls are counted down in the stored route by the requests that reach them, so the
    // next attempt of the same part goes through.
    if (route.stallAt >= from && route.stallAt <= to) {
        std::lock_guard lock(m_mutex);
        auto it = m_routes.find(request.path);
        if (it == m_routes.end())
            it = m_routes.find(request.path.left(request.path.indexOf('?')));
        if (it != m_routes.end() && it->stallTimes > 0)
            --it->stallTimes;
        else
            route.stallAt = -1;
    } else {
        route.stallAt = -1;
    }

    QByteArray headText = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    headText += "Content-Type: " + route.contentType + "\r\n";
    if (!route.omitLength)
        headText += "Content-Length: " + QByteArray::number(to - from + 1 + route.overlongBy) + "\r\n";
    if (status == 206 && !route.oddContentRange.isEmpty()) {
        if (route.oddContentRange != "-")
            headText += "Content-Range: " + route.oddContentRange + "\r\n";
    } else if (status == 206) {
        headText += "Content-Range: bytes " + QByteArray::number(from) + '-' + QByteArray::number(to) + '/' +
                    QByteArray::number(size) + "\r\n";
    }
    if (!route.setCookie.isEmpty())
        headText += "Set-Cookie: " + route.setCookie + "\r\n";
    for (const QByteArray& line : route.extraHeaders)
        headText += line + "\r\n";
    headText += "Connection: close\r\n\r\n";
    if (!sendAll(socket, headText.constData(), headText.size()) || request.method == "HEAD")
        return;

    constexpr qint64 Chunk = 16384;
    for (qint64 at = from; at <= to && !m_stopping;) {
        qint64 end = qMin(to + 1, at + Chunk);
        if (route.stallAt >= at && route.stallAt < end)
            end = route.stallAt;
        if (route.closeAt >= at && route.closeAt < end)
            end = route.closeAt;
        if (route.trickleAt >= at && route.trickleAt < end)
            end = route.trickleAt;
        if (end > at && !sendAll(socket, route.body.constData() + at, end - at))
            return;
        at = end;
        if (at == route.stallAt) {
            stall(socket);
            return;
        }
        if (at == route.closeAt)
            return;
        if (at == route.trickleAt) {
            const QDeadlineTimer deadline(route.trickleForMs);
            for (; at <= to && !m_stopping && !deadline.hasExpired(); ++at) {
                if (!sendAll(socket, route.body.constData() + at, 1))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(route.trickleMs));
            }
            return;
        }
        if (route.chunkDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(route.chunkDelayMs));
    }
    // Past the end of what was asked for: bytes of no part, as a broken server sends them.
    const QByteArray filler(qMin<qint64>(route.overlongBy, 1 << 24), '#');
    sendAll(socket, filler.constData(), filler.size());
}
