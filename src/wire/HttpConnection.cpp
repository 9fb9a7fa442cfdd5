#include "wire/HttpConnection.h"

#include "wire/Http1Session.h"
#include "wire/Http2Session.h"

#include <algorithm>

HttpConnection::HttpConnection(const WireLimits& limits,
                               const ExchangeSink& sink,
                               std::uint64_t& nextId,
                               ExchangeReporter::Connection connection)
    : m_limits(limits)
    , m_reporter(sink, nextId, std::move(connection))
{}

HttpConnection::~HttpConnection() = default;

void HttpConnection::clientBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    if (failed() || m_ended || bytes.empty())
        return;
    if (!m_reader) {
        const std::string_view preface = Http2Session::kPreface;
        const std::size_t count = std::min(bytes.size(), preface.size() - m_clientStart.size());
        m_clientStart.insert(m_clientStart.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(count));
        const bool prefix = std::equal(m_clientStart.begin(), m_clientStart.end(), preface.begin());
        if (prefix && m_clientStart.size() < preface.size())
            return; // undecided yet
        if (prefix)
            m_reader = std::make_unique<Http2Session>(m_limits, m_reporter);
        else
            m_reader = std::make_unique<Http1Session>(m_limits, m_reporter);
        std::vector<std::uint8_t> start;
        start.swap(m_clientStart);
        m_reader->clientBytes(start, time);
        m_reader->clientBytes(bytes.subspan(count), time);
        if (!m_serverEarly.empty()) {
            std::vector<std::uint8_t> early;
            early.swap(m_serverEarly);
            m_reader->serverBytes(early, m_serverEarlyTime);
        }
        return;
    }
    m_reader->clientBytes(bytes, time);
}

void HttpConnection::serverBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    if (failed() || m_ended || bytes.empty())
        return;
    if (m_reader)
        return m_reader->serverBytes(bytes, time);
    if (m_serverEarly.size() + bytes.size() > kMaxEarlyServerBytes) {
        m_failed = true;
        return;
    }
    if (m_serverEarly.empty())
        m_serverEarlyTime = time;
    m_serverEarly.insert(m_serverEarly.end(), bytes.begin(), bytes.end());
}

void HttpConnection::end(bool closed)
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_reader)
        m_reader->end(closed);
}
