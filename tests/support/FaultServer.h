#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

// A small HTTP/1.1 server on 127.0.0.1 whose answers a test shapes per path: honest ranges or
// none, a 200 with the whole body for one range, a stall or an early close at a byte offset,
// no Content-Length, cookies set and required, a body longer than asked for, a trickle, a 206 for
// other bytes than asked for or with a false Content-Range. One connection per request;
// every request is recorded so tests can check what the client sent.
class FaultServer final
{
public:
    struct Route
    {
        QByteArray body;
        QByteArray contentType = "video/mp4";
        int status = 200;                  // for answers without a range (or with ranges off)
        bool honourRanges = true;          // false: every range is answered 200 with the body
        qint64 wholeBodyForRangeFrom = -1; // a range starting here is answered 200 + whole body
        bool omitLength = false;           // no Content-Length; the end is the closed connection
        qint64 stallAt = -1;               // body offset (of the file) where the answer stalls...
        int stallTimes = 0;                // ...for this many requests that reach it
        qint64 closeAt = -1;               // body offset where the connection is closed
        QByteArray setCookie;              // sent as "Set-Cookie: " when not empty
        QByteArray requireCookie;          // "name=value" the request's Cookie must hold, else 403
        QList<QByteArray> extraHeaders;    // further "Name: value" lines of the answer
        int chunkDelayMs = 0;              // pause after every 16 KiB (a slow server)
        qint64 overlongBy = 0;             // this many bytes more than asked for, counted in the length
        qint64 trickleAt = -1;             // body offset from where one byte goes every trickleMs...
        int trickleMs = 100;               // ...for at most trickleForMs, then the connection closes
        int trickleForMs = 5000;
        qint64 oddRangeFrom = -1;   // a range starting here is answered 206 from its start...
        qint64 oddStartShift = 0;   // ...moved by this many bytes to its end...
        qint64 oddEndShift = 0;     // ...moved by this many (the Content-Range tells both)...
        QByteArray oddContentRange; // ...or with this Content-Range instead of the true one ("-": none)
    };

    struct Request
    {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray raw;
    };

    FaultServer();
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    bool start();
    void stop();
    quint16 port() const { return m_port; }
    QString url(const QString& path) const;

    void setRoute(const QByteArray& path, const Route& route);
    QList<Request> requests() const;
    QList<Request> requestsFor(const QByteArray& path) const;
    void clearRequests();

private:
    void acceptLoop();
    void serve(int socket);
    void answer(int socket, const Request& request);
    bool sendAll(int socket, const char* data, qsizetype size);
    void stall(int socket);

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    QHash<QByteArray, Route> m_routes;
    QList<Request> m_requests;
    std::list<std::thread> m_connections;
};
