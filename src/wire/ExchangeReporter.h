#pragma once

#include "wire/ExchangeSink.h"
#include "wire/HttpExchange.h"

#include <cstdint>
#include <string>

// What an HTTP reader of one connection knows of it, and the way out to the sink: it numbers
// the exchanges and fills in the connection's part of each.
class ExchangeReporter final
{
public:
    struct Connection
    {
        Endpoint client;
        Endpoint server;
        bool encrypted = false;
        std::string serverName; // from the TLS ClientHello, when there was one
    };

    ExchangeReporter(const ExchangeSink& sink, std::uint64_t& nextId, Connection connection);

    // A new exchange with the connection's fields set.
    HttpExchange begin(HttpExchange::Protocol protocol, WireTime requestTime) const;
    // The response headers are known: numbers the exchange and reports it.
    void responseStarted(HttpExchange& exchange);
    void completed(HttpExchange& exchange, HttpExchange::Ending ending);

private:
    const ExchangeSink& m_sink;
    std::uint64_t& m_nextId;
    Connection m_connection;
};
