#pragma once

#include "wire/ExchangeReporter.h"
#include "wire/Http1Message.h"
#include "wire/HttpReader.h"

#include <deque>

// HTTP/1.1 over one connection: requests (several per connection, pipelined or not) paired in
// order with their responses. A response to HEAD, a 1xx, 204 or 304 has no body; a 101 or an
// answered CONNECT ends the reading (what follows is not HTTP). At most
// WireLimits::maxOpenExchanges requests wait for their responses.
class Http1Session final : public HttpReader
{
public:
    Http1Session(const WireLimits& limits, ExchangeReporter& reporter);

    void clientBytes(std::span<const std::uint8_t> bytes, WireTime time) override;
    void serverBytes(std::span<const std::uint8_t> bytes, WireTime time) override;
    void end(bool closed) override;

private:
    struct Pending
    {
        HttpExchange exchange;
        std::uint64_t number = 0;
        bool requestDone = false;
        bool responseStarted = false;
    };

    std::optional<Http1Message::Body> requestHead(Http1Message::Head& head, std::uint64_t& length, WireTime time);
    std::optional<Http1Message::Body> responseHead(Http1Message::Head& head, std::uint64_t& length, WireTime time);
    Pending* currentRequest();

    const WireLimits& m_limits;
    ExchangeReporter& m_reporter;
    Http1Message m_requests;
    Http1Message m_responses;
    std::deque<Pending> m_pending; // front: the one the server answers next
    std::uint64_t m_requestNumber = 0;
    bool m_stopped = false; // the connection turned into something else
};
