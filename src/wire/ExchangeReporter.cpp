#include "wire/ExchangeReporter.h"

ExchangeReporter::ExchangeReporter(const ExchangeSink& sink, std::uint64_t& nextId, Connection connection)
    : m_sink(sink)
    , m_nextId(nextId)
    , m_connection(std::move(connection))
{}

HttpExchange ExchangeReporter::begin(HttpExchange::Protocol protocol, WireTime requestTime) const
{
    HttpExchange exchange;
    exchange.protocol = protocol;
    exchange.encrypted = m_connection.encrypted;
    exchange.scheme = m_connection.encrypted ? "https" : "http";
    exchange.client = m_connection.client;
    exchange.server = m_connection.server;
    exchange.requestTime = requestTime;
    return exchange;
}

void ExchangeReporter::responseStarted(HttpExchange& exchange)
{
    exchange.id = ++m_nextId;
    exchange.ending = HttpExchange::Ending::Open;
    if (exchange.authority.empty())
        exchange.authority = m_connection.serverName;
    if (m_sink.responseStarted)
        m_sink.responseStarted(exchange);
}

void ExchangeReporter::completed(HttpExchange& exchange, HttpExchange::Ending ending)
{
    exchange.ending = ending;
    if (m_sink.completed)
        m_sink.completed(exchange);
}
