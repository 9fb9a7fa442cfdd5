#pragma once

#include "download/ContentRange.h"
#include "download/CurlEasy.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

// Failure numbers of the HTTP client. The logic above only tells time-outs from the rest;
// the other numbers stay distinct so that traces say what went wrong.
namespace HttpError {
constexpr int None = 0;
constexpr int Timeout = 12002;
constexpr int NameNotResolved = 12007;
constexpr int CannotConnect = 12029;
constexpr int ConnectionClosed = 12030;
constexpr int UnsupportedAddress = 12006;
constexpr int Other = 13000; // + libcurl's code
} // namespace HttpError

// The response head as the caller sees it before any body byte.
struct HttpResponseHead
{
    long status = 0;
    qint64 contentLength = -1; // -1: no Content-Length header
    QByteArray contentType;    // empty when absent
    // What "Content-Range" names; none when it is absent, malformed or given more than once.
    std::optional<ContentRange> contentRange;
};

struct HttpResult
{
    int error = HttpError::None; // non-zero: the request failed (12002 is a time-out)
    QString errorText;
    bool headReceived = false;
    HttpResponseHead head;
    bool stoppedByCaller = false; // a handler returned false or the abort flag was raised
};

// One GET request through libcurl, the way every network operation of the program is made:
// its own handle (or the caller's, see Options::connection), its own time-outs, the process-wide cookie store,
// libcurl's environment proxies, redirects followed, only http and https.
class HttpRequest final
{
public:
    struct Options
    {
        QString url;
        // "Name: value" lines; a line whose name is already present is dropped (first wins).
        QList<QByteArray> headers;
        std::chrono::milliseconds connectTimeout{60000};
        // Longest wait for the next bytes once connected (the head or any body block).
        std::chrono::milliseconds receiveTimeout{120000};
        // Fewer than lowSpeedLimit bytes a second for lowSpeedTime ends the request as a
        // time-out, like a silence past the receive time-out (0: no such limit).
        long lowSpeedLimit = 0;
        std::chrono::seconds lowSpeedTime{0};
        const std::atomic<bool>* abort = nullptr; // raised: the request ends, stoppedByCaller
        // A handle kept by the caller between requests: its open connections are reused
        // (keep-alive, one TLS handshake per server). One thread uses it at a time. None: a
        // handle of the request's own, closed with it.
        CurlEasy* connection = nullptr;
    };

    // Return false to stop the request before its body (head) or after this block (body).
    using HeadHandler = std::function<bool(const HttpResponseHead&)>;
    using BodyHandler = std::function<bool(const char* data, qsizetype size)>;

    // Body blocks are at most this big (curl hands them on in pieces of at most 16 KiB).
    static constexpr qsizetype BlockSize = 65536;
    // curl's receive buffer: one system call takes up to this much from the socket.
    static constexpr qsizetype ReceiveBuffer = 512 * 1024;

    explicit HttpRequest(Options options);

    // Sends the request and runs it to its end; blocks the calling thread.
    HttpResult perform(const HeadHandler& onHead, const BodyHandler& onBody);

    // The address is one the client will request: http or https with a host.
    static bool isRequestable(const QString& url);

    // "Name: value" lines in order, keeping the first line of each name (case-insensitive)
    // and leaving out empty values.
    static QList<QByteArray> mergeHeaders(const QList<QByteArray>& lines);

private:
    Options m_options;
};
