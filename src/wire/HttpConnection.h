#pragma once

#include "wire/ExchangeReporter.h"
#include "wire/HttpReader.h"

#include <memory>
#include <vector>

// The HTTP side of one connection: the client's first bytes tell HTTP/2 (its preface) from
// HTTP/1.1, and the matching reader takes both directions from then on. Server bytes that come
// before that choice wait (at most kMaxEarlyServerBytes).
class HttpConnection final
{
public:
    static constexpr std::size_t kMaxEarlyServerBytes = 64 * 1024;

    HttpConnection(const WireLimits& limits,
                   const ExchangeSink& sink,
                   std::uint64_t& nextId,
                   ExchangeReporter::Connection connection);
    ~HttpConnection();

    void clientBytes(std::span<const std::uint8_t> bytes, WireTime time);
    void serverBytes(std::span<const std::uint8_t> bytes, WireTime time);
    void end(bool closed);
    bool failed() const { return m_failed || (m_reader && m_reader->failed()); }

private:
    const WireLimits& m_limits;
    ExchangeReporter m_reporter;
    std::unique_ptr<HttpReader> m_reader;
    std::vector<std::uint8_t> m_clientStart; // a prefix of the HTTP/2 preface, so far
    std::vector<std::uint8_t> m_serverEarly;
    WireTime m_serverEarlyTime = 0;
    bool m_failed = false;
    bool m_ended = false;
};
