#include "wire/Http1Session.h"

#include <charconv>

namespace {

// Splits "a b c" at its first two spaces.
bool splitStartLine(const std::string& line, std::string_view parts[3])
{
    const std::string_view text = line;
    const std::size_t first = text.find(' ');
    if (first == std::string_view::npos)
        return false;
    const std::size_t second = text.find(' ', first + 1);
    parts[0] = text.substr(0, first);
    parts[1] = text.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    parts[2] = second == std::string_view::npos ? std::string_view() : text.substr(second + 1);
    return !parts[0].empty() && !parts[1].empty();
}

} // namespace

Http1Session::Http1Session(const WireLimits& limits, ExchangeReporter& reporter)
    : m_limits(limits)
    , m_reporter(reporter)
    , m_requests(limits.maxHeaderBytes,
                 {[this](auto& head, auto& length, auto time) { return requestHead(head, length, time); },
                  [this](std::uint64_t count) {
                      if (Pending* pending = currentRequest())
                          pending->exchange.requestBodyBytes += count;
                  },
                  [this](WireTime) {
                      if (Pending* pending = currentRequest())
                          pending->requestDone = true;
                  }})
    , m_responses(limits.maxHeaderBytes,
                  {[this](auto& head, auto& length, auto time) { return responseHead(head, length, time); },
                   [this](std::uint64_t count) {
                       if (!m_pending.empty())
                           m_pending.front().exchange.responseBodyBytes += count;
                   },
                   [this](WireTime) {
                       if (m_pending.empty() || !m_pending.front().responseStarted)
                           return; // the end of an interim (1xx) response
                       m_reporter.completed(m_pending.front().exchange, HttpExchange::Ending::Complete);
                       m_pending.pop_front();
                   }})
{}

Http1Session::Pending* Http1Session::currentRequest()
{
    if (m_pending.empty() || m_pending.back().number != m_requestNumber)
        return nullptr; // already answered and gone
    return &m_pending.back();
}

std::optional<Http1Message::Body>
Http1Session::requestHead(Http1Message::Head& head, std::uint64_t& length, WireTime time)
{
    std::string_view parts[3];
    if (!splitStartLine(head.startLine, parts) || !parts[2].starts_with("HTTP/1."))
        return std::nullopt;
    if (m_pending.size() >= m_limits.maxOpenExchanges)
        return std::nullopt;
    Pending pending;
    pending.number = ++m_requestNumber;
    HttpExchange& exchange = pending.exchange;
    exchange = m_reporter.begin(HttpExchange::Protocol::Http1, time);
    exchange.method = std::string(parts[0]);
    std::string_view target = parts[1];
    // An absolute-form target names the authority itself.
    for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (target.starts_with(scheme)) {
            target.remove_prefix(scheme.size());
            const std::size_t slash = std::min(target.find('/'), target.size());
            exchange.authority = std::string(target.substr(0, slash));
            target.remove_prefix(slash);
            if (target.empty())
                target = "/";
        }
    }
    exchange.path = std::string(target);
    exchange.requestHeaders = std::move(head.headers);
    exchange.headersTruncated = head.truncated;
    if (exchange.authority.empty()) {
        if (const std::string* host = exchange.requestHeader("host"))
            exchange.authority = *host;
    }
    const auto body = Http1Message::framing(exchange.requestHeaders, length);
    m_pending.push_back(std::move(pending));
    if (!body)
        return std::nullopt;
    // A request without a length has no body: it never reads to the connection's end.
    return *body == Http1Message::Body::UntilClose ? std::nullopt : body;
}

std::optional<Http1Message::Body>
Http1Session::responseHead(Http1Message::Head& head, std::uint64_t& length, WireTime time)
{
    std::string_view parts[3];
    if (!splitStartLine(head.startLine, parts) || !parts[0].starts_with("HTTP/1.") || parts[1].size() != 3)
        return std::nullopt;
    int status = 0;
    const auto [end, error] = std::from_chars(parts[1].data(), parts[1].data() + 3, status);
    if (error != std::errc() || end != parts[1].data() + 3 || status < 100)
        return std::nullopt;
    if (m_pending.empty())
        return std::nullopt; // a response to nothing: the stream is not what it seems
    if (status == 101) {
        m_stopped = true;
        return std::nullopt;
    }
    if (status < 200)
        return Http1Message::Body::None; // interim; the real response follows
    Pending& pending = m_pending.front();
    HttpExchange& exchange = pending.exchange;
    exchange.status = status;
    exchange.responseTime = time;
    exchange.responseHeaders = std::move(head.headers);
    exchange.headersTruncated = exchange.headersTruncated || head.truncated;
    pending.responseStarted = true;
    m_reporter.responseStarted(exchange);
    if (exchange.method == "CONNECT" && status < 300) {
        m_stopped = true;
        return std::nullopt;
    }
    if (exchange.method == "HEAD" || status == 204 || status == 304)
        return Http1Message::Body::None;
    const auto body = Http1Message::framing(exchange.responseHeaders, length);
    if (!body)
        return std::nullopt;
    // A response without length or chunking runs to the end of the connection.
    if (*body == Http1Message::Body::None)
        return Http1Message::Body::UntilClose;
    return body;
}

void Http1Session::clientBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    if (m_failed || m_stopped)
        return;
    if (!m_requests.feed(bytes, time))
        m_failed = true;
}

void Http1Session::serverBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    if (m_failed || m_stopped)
        return;
    if (!m_responses.feed(bytes, time))
        m_failed = !m_stopped;
}

void Http1Session::end(bool closed)
{
    for (Pending& pending : m_pending) {
        if (!pending.responseStarted)
            continue;
        HttpExchange::Ending ending = HttpExchange::Ending::Abandoned;
        if (closed)
            ending = m_responses.readingUntilClose() && &pending == &m_pending.front() ? HttpExchange::Ending::Complete
                                                                                       : HttpExchange::Ending::Reset;
        m_reporter.completed(pending.exchange, ending);
    }
    m_pending.clear();
}
