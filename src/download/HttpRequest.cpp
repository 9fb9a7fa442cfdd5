#include "download/HttpRequest.h"

#include "download/CookieJar.h"
#include "download/CurlEasy.h"

#include <QSet>
#include <QUrl>

#include <cstdlib>
#include <curl/curl.h>
#include <optional>
#include <sys/socket.h>

namespace {

// CURL_CA_BUNDLE, else SSL_CERT_FILE: the trust file the user named for HTTPS (empty: none).
QByteArray trustFileFromEnvironment()
{
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return QByteArray(value);
    }
    return {};
}

using Clock = std::chrono::steady_clock;

struct Transfer
{
    const HttpRequest::HeadHandler* onHead = nullptr;
    const HttpRequest::BodyHandler* onBody = nullptr;
    const std::atomic<bool>* abort = nullptr;
    CURL* easy = nullptr;
    HttpResult* result = nullptr;
    HttpResponseHead pending;
    bool pendingHasLocation = false;
    bool pendingHasType = false;
    bool pendingHasRange = false;
    Clock::time_point lastActivity = Clock::now();
    std::chrono::milliseconds receiveTimeout{0};
    bool timedOut = false;
    bool stopped = false;
};

bool aborted(const Transfer& transfer)
{
    return transfer.abort && transfer.abort->load(std::memory_order_relaxed);
}

size_t onHeaderLine(char* data, size_t size, size_t count, void* user)
{
    auto& t = *static_cast<Transfer*>(user);
    const size_t total = size * count;
    t.lastActivity = Clock::now();
    // A line starting with white space continues a folded header value: never a header name.
    if (total > 0 && (data[0] == ' ' || data[0] == '\t'))
        return total;
    const QByteArray line = QByteArray(data, qsizetype(total)).trimmed();
    if (line.startsWith("HTTP/")) {
        t.pending = HttpResponseHead();
        t.pendingHasLocation = false;
        t.pendingHasType = false;
        t.pendingHasRange = false;
        const QList<QByteArray> parts = line.split(' ');
        t.pending.status = parts.size() > 1 ? parts.at(1).toLong() : 0;
        return total;
    }
    if (line.isEmpty()) {
        // The end of one response head: interim answers and followed redirects are not the
        // answer the caller waits for.
        const long status = t.pending.status;
        if ((status >= 100 && status < 200) || (status >= 300 && status < 400 && t.pendingHasLocation))
            return total;
        t.result->head = t.pending;
        t.result->headReceived = true;
        if (*t.onHead && !(*t.onHead)(t.pending)) {
            t.stopped = true;
            return 0;
        }
        return total;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return total;
    // The name is exactly what stands before the colon ("Content-Type : x" is no Content-Type).
    const QByteArray name = line.left(colon).toLower();
    if (name.contains(' ') || name.contains('\t'))
        return total;
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        t.pending.contentLength = ok && length >= 0 ? length : -1;
    } else if (name == "content-type" && !t.pendingHasType) {
        t.pending.contentType = value; // the first one: a second cannot override it
        t.pendingHasType = true;
    } else if (name == "content-range") {
        // Two ranges for one body leave it unknown which bytes came: neither is believed.
        t.pending.contentRange = t.pendingHasRange ? std::nullopt : ContentRange::parse(value);
        t.pendingHasRange = true;
    } else if (name == "location") {
        t.pendingHasLocation = true;
    }
    return total;
}

size_t onBodyBlock(char* data, size_t size, size_t count, void* user)
{
    auto& t = *static_cast<Transfer*>(user);
    const size_t total = size * count;
    t.lastActivity = Clock::now();
    if (!t.result->headReceived)
        return total; // the body of a redirect being followed
    if (aborted(t) || (*t.onBody && !(*t.onBody)(data, qsizetype(total)))) {
        t.stopped = true;
        return 0;
    }
    return total;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& t = *static_cast<Transfer*>(user);
    if (aborted(t)) {
        t.stopped = true;
        return 1;
    }
    curl_off_t connectTime = 0;
    curl_easy_getinfo(t.easy, CURLINFO_CONNECT_TIME_T, &connectTime);
    const Clock::time_point now = Clock::now();
    if (connectTime == 0) {
        t.lastActivity = now; // still connecting: the connect time-out governs
        return 0;
    }
    if (now - t.lastActivity > t.receiveTimeout) {
        t.timedOut = true;
        return 1;
    }
    return 0;
}

int errorNumber(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return HttpError::None;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpError::Timeout;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpError::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return HttpError::CannotConnect;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return HttpError::ConnectionClosed;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return HttpError::UnsupportedAddress;
    default:
        return HttpError::Other + int(code);
    }
}

QByteArray encodedUrl(const QString& url)
{
    // Addresses seen on the wire were widened byte by byte; give the bytes back as they were.
    for (const QChar c : url) {
        if (c.unicode() > 0xff)
            return QUrl(url).toEncoded();
    }
    return url.toLatin1();
}

// Sockets close-on-exec from their first moment, so that no tool started meanwhile keeps a
// connection open.
curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address)
{
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Resets a kept handle's options. The cookie engine is switched off first: libcurl 7.88 loses
// (never frees) the cookie-file list of CURLOPT_COOKIEFILE "" in curl_easy_reset, 17 bytes a
// request; switching it off frees the list and leaves the shared cookie store alone.
void resetKept(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
    curl_easy_reset(easy);
}

struct HeaderList
{
    ~HeaderList() { curl_slist_free_all(list); }
    curl_slist* list = nullptr;
};

} // namespace

HttpRequest::HttpRequest(Options options)
    : m_options(std::move(options))
{}

bool HttpRequest::isRequestable(const QString& url)
{
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && !parsed.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QList<QByteArray> HttpRequest::mergeHeaders(const QList<QByteArray>& lines)
{
    QList<QByteArray> merged;
    QSet<QByteArray> names;
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.mid(colon + 1).trimmed().isEmpty())
            continue;
        // A line break inside a replayed value would smuggle a header of its own.
        if (line.contains('\r') || line.contains('\n'))
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        if (names.contains(name))
            continue;
        names.insert(name);
        merged.append(line);
    }
    return merged;
}

HttpResult HttpRequest::perform(const HeadHandler& onHead, const BodyHandler& onBody)
{
    HttpResult result;
    if (!isRequestable(m_options.url)) {
        result.error = HttpError::UnsupportedAddress;
        result.errorText = QStringLiteral("not an http or https address");
        return result;
    }
    // The store first: it runs libcurl's global set-up once, before any handle exists.
    CookieJar& jar = CookieJar::instance();
    std::optional<CurlEasy> own;
    if (!m_options.connection)
        own.emplace();
    CURL* easy = m_options.connection ? m_options.connection->get() : own->get();
    if (!easy) {
        result.error = HttpError::Other + int(CURLE_FAILED_INIT);
        return result;
    }
    // The options of the previous request go; its connections, DNS and TLS session caches stay.
    if (m_options.connection)
        resetKept(easy);
    Transfer transfer;
    transfer.onHead = &onHead;
    transfer.onBody = &onBody;
    transfer.abort = m_options.abort;
    transfer.easy = easy;
    transfer.result = &result;
    transfer.receiveTimeout = m_options.receiveTimeout;

    HeaderList headers;
    for (const QByteArray& line : mergeHeaders(m_options.headers))
        headers.list = curl_slist_append(headers.list, line.constData());

    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = encodedUrl(m_options.url);
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Certificates are always verified; a trust file named as the curl tool and OpenSSL take one
    // replaces the system's (libcurl itself reads neither variable).
    const QByteArray trustFile = trustFileFromEnvironment();
    if (!trustFile.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, trustFile.constData());
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, long(ReceiveBuffer));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeaderLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBodyBlock);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, openSocket);
    if (m_options.lowSpeedLimit > 0 && m_options.lowSpeedTime.count() > 0) {
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, m_options.lowSpeedLimit);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, long(m_options.lowSpeedTime.count()));
    }
    jar.attach(easy);

    const CURLcode code = curl_easy_perform(easy);
    // A kept handle must not point at this call's buffers, callbacks' data or header list
    // once it returns.
    if (m_options.connection)
        resetKept(easy);
    if (transfer.stopped) {
        result.stoppedByCaller = true;
    } else if (transfer.timedOut) {
        result.error = HttpError::Timeout;
        result.errorText = QStringLiteral("no data within the receive time-out");
    } else if (code != CURLE_OK) {
        result.error = errorNumber(code);
        result.errorText = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    }
    return result;
}
