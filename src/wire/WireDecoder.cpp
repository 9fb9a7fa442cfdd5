#include "wire/WireDecoder.h"

#include "wire/FrameDecoder.h"
#include "wire/HttpConnection.h"
#include "wire/KeyLog.h"
#include "wire/StreamReassembler.h"
#include "wire/TlsSession.h"

#include <list>
#include <unordered_map>
#include <unordered_set>

namespace {

enum class Opening
{
    NeedMore,
    Tls,
    PlainHttp,
    Other,
};

// What a connection's first client bytes say it carries: a TLS handshake record holding a
// ClientHello, or a plain HTTP request line (or the HTTP/2 preface).
Opening classify(std::span<const std::uint8_t> start)
{
    static constexpr std::string_view kMethods[] = {"GET ",     "POST ",  "HEAD ",    "PUT ",   "DELETE ",
                                                    "OPTIONS ", "PATCH ", "PRI * HT", "TRACE ", "CONNECT "};
    if (start.empty())
        return Opening::NeedMore;
    if (start[0] == 0x16) {
        if (start.size() < 6)
            return Opening::NeedMore;
        return start[1] == 3 && start[2] <= 4 && start[5] == 1 ? Opening::Tls : Opening::Other;
    }
    bool possible = false;
    for (const std::string_view method : kMethods) {
        const std::size_t count = std::min(method.size(), start.size());
        if (std::equal(start.begin(), start.begin() + std::ptrdiff_t(count), method.begin())) {
            if (count == method.size())
                return Opening::PlainHttp;
            possible = true;
        }
    }
    return possible ? Opening::NeedMore : Opening::Other;
}

} // namespace

class WireDecoder::Impl final
{
public:
    Impl(KeyLog& keyLog, WireLimits limits, ExchangeSink sink);
    ~Impl();

    void feed(int linkType, WireTime time, std::span<const std::uint8_t> frame);
    void finish();
    Statistics statistics() const;

private:
    struct Connection;

    // Everything a decoded connection holds; a connection passed over has none.
    struct Flow final : TlsSession::Receiver
    {
        Flow(Impl& owner, Connection& connection);
        void applicationData(bool fromClient, std::span<const std::uint8_t> bytes, WireTime time) override;
        void ensureHttp();

        Impl& owner;
        Connection& connection;
        StreamReassembler fromClient;
        StreamReassembler fromServer;
        std::vector<std::uint8_t> opening; // the client's first bytes, until they tell what follows
        std::unique_ptr<TlsSession> tls;
        std::unique_ptr<HttpConnection> http;
        std::uint64_t keyGeneration = 0;
        // The opening bytes are neither TLS nor HTTP; set while the reassembler delivers, acted
        // on once it has returned (the flow cannot go away under its own feed).
        bool declined = false;
    };

    enum class Kind
    {
        Undecided,
        Tls,
        PlainHttp,
        PassedOver,
    };

    struct Connection
    {
        ConnectionKey key;
        Endpoint client;
        Endpoint server;
        Kind kind = Kind::Undecided;
        WireTime lastSeen = 0;
        std::unique_ptr<Flow> flow;
    };

    using ConnectionList = std::list<Connection>;

    Connection* lookUp(const TcpSegment& segment, WireTime time);
    static bool startsAnew(const Connection& connection, const TcpSegment& syn);
    void segment(Connection& connection, const TcpSegment& segment, WireTime time);
    void stream(Connection& connection, bool fromClient, std::span<const std::uint8_t> bytes, WireTime time);
    bool open(Connection& connection, std::span<const std::uint8_t> bytes, WireTime time);
    void afterInput(Connection& connection);
    void keys(WireTime time);
    // Stops decoding: the connection stays known (one lookup per frame) but holds nothing.
    void passOver(Connection& connection, bool abandoned);
    void remove(ConnectionList::iterator it, bool closed);
    void release(Connection& connection, bool closed);
    void sweep(WireTime time);

    KeyLog& m_keyLog;
    WireLimits m_limits;
    ExchangeSink m_userSink;
    ExchangeSink m_sink;
    std::uint64_t m_nextId = 0;
    ConnectionList m_connections; // most recently active first
    std::unordered_map<ConnectionKey, ConnectionList::iterator, ConnectionKeyHash> m_index;
    std::unordered_set<Connection*> m_waiting; // records held for a secret
    WireTime m_lastPoll = 0;
    bool m_pollNow = false;
    Statistics m_statistics;
    std::uint64_t m_finishedRecords = 0;
};

WireDecoder::Impl::Flow::Flow(Impl& impl, Connection& conn)
    : owner(impl)
    , connection(conn)
    , fromClient(impl.m_limits.maxOutOfOrderBytes, impl.m_limits.gapTimeout)
    , fromServer(impl.m_limits.maxOutOfOrderBytes, impl.m_limits.gapTimeout)
{}

void WireDecoder::Impl::Flow::ensureHttp()
{
    if (http)
        return;
    ExchangeReporter::Connection about{connection.client, connection.server, tls != nullptr,
                                       tls ? tls->serverName() : std::string()};
    http = std::make_unique<HttpConnection>(owner.m_limits, owner.m_sink, owner.m_nextId, std::move(about));
}

void WireDecoder::Impl::Flow::applicationData(bool client, std::span<const std::uint8_t> bytes, WireTime time)
{
    ensureHttp();
    if (client)
        http->clientBytes(bytes, time);
    else
        http->serverBytes(bytes, time);
}

WireDecoder::Impl::Impl(KeyLog& keyLog, WireLimits limits, ExchangeSink sink)
    : m_keyLog(keyLog)
    , m_limits(limits)
    , m_userSink(std::move(sink))
{
    m_sink.responseStarted = [this](const HttpExchange& exchange) {
        ++m_statistics.exchanges;
        if (m_userSink.responseStarted)
            m_userSink.responseStarted(exchange);
    };
    m_sink.completed = [this](const HttpExchange& exchange) {
        if (m_userSink.completed)
            m_userSink.completed(exchange);
    };
}

WireDecoder::Impl::~Impl()
{
    // Secrets go with their connections, but nothing is reported from a destructor.
    for (Connection& connection : m_connections) {
        if (connection.flow && connection.flow->tls && connection.flow->tls->hasClientRandom())
            m_keyLog.forget(connection.flow->tls->clientRandom());
    }
}

void WireDecoder::Impl::feed(int linkType, WireTime time, std::span<const std::uint8_t> frame)
{
    ++m_statistics.frames;
    const auto segment = FrameDecoder::decode(linkType, frame);
    if (!segment)
        return;
    ++m_statistics.tcpFrames;
    if (!m_limits.port80 && (segment->source.port == 80 || segment->destination.port == 80))
        return;
    sweep(time);
    Connection* connection = lookUp(*segment, time);
    if (connection && connection->kind != Kind::PassedOver)
        this->segment(*connection, *segment, time);
    else if (connection && segment->has(TcpSegment::Rst))
        remove(m_index.at(connection->key), true);
    if (!m_waiting.empty())
        keys(time);
}

WireDecoder::Impl::Connection* WireDecoder::Impl::lookUp(const TcpSegment& segment, WireTime time)
{
    const ConnectionKey key = ConnectionKey::of(segment.source, segment.destination);
    auto found = m_index.find(key);
    const bool syn = segment.has(TcpSegment::Syn);
    if (found != m_index.end() && syn && !segment.has(TcpSegment::Ack) && startsAnew(*found->second, segment)) {
        remove(found->second, true); // the ports were taken again by a new connection
        found = m_index.end();
    }
    if (found != m_index.end()) {
        m_connections.splice(m_connections.begin(), m_connections, found->second);
        found->second->lastSeen = time;
        return &*found->second;
    }
    if (segment.payload.empty() && !syn)
        return nullptr; // a bare acknowledgement or end of something unknown
    if (segment.has(TcpSegment::Rst))
        return nullptr;
    // The frame analyser's other port mostly carries its plain HTTP: a connection there is taken
    // up only at client bytes that may open TLS (a handshake needs nothing from before them),
    // so the plain traffic costs a lookup per frame and nothing more.
    if ((segment.source.port == 8080 || segment.destination.port == 8080) &&
        (segment.destination.port != 8080 || segment.payload.empty() ||
         (classify(segment.payload) != Opening::Tls && classify(segment.payload) != Opening::NeedMore)))
        return nullptr;
    while (m_connections.size() >= m_limits.maxConnections && !m_connections.empty())
        remove(std::prev(m_connections.end()), false);
    Connection connection;
    connection.key = key;
    connection.lastSeen = time;
    // The SYN's sender is the client; without the SYN, the first to send data is taken for it,
    // which only matters if those bytes open TLS or HTTP.
    const bool serverFirst = syn && segment.has(TcpSegment::Ack);
    connection.client = serverFirst ? segment.destination : segment.source;
    connection.server = serverFirst ? segment.source : segment.destination;
    m_connections.push_front(std::move(connection));
    Connection& created = m_connections.front();
    m_index.emplace(key, m_connections.begin());
    created.flow = std::make_unique<Flow>(*this, created);
    return &created;
}

bool WireDecoder::Impl::startsAnew(const Connection& connection, const TcpSegment& syn)
{
    // A repeated SYN of the same connection changes nothing; after data, or once the old one
    // was passed over, a SYN from the client opens a new one.
    if (connection.kind == Kind::PassedOver)
        return true;
    const Flow& flow = *connection.flow;
    return syn.source == connection.client &&
           (flow.fromClient.deliveredBytes() > 0 || flow.fromServer.deliveredBytes() > 0);
}

void WireDecoder::Impl::segment(Connection& connection, const TcpSegment& segment, WireTime time)
{
    Flow& flow = *connection.flow;
    const bool fromClient = segment.source == connection.client;
    if (segment.has(TcpSegment::Rst)) {
        remove(m_index.at(connection.key), true);
        return;
    }
    if (segment.truncated && !segment.payload.empty()) {
        passOver(connection, true); // the capture cut the segment short: the stream has a hole
        return;
    }
    StreamReassembler& direction = fromClient ? flow.fromClient : flow.fromServer;
    std::uint32_t sequence = segment.sequence;
    if (segment.has(TcpSegment::Syn)) {
        ++sequence; // the SYN takes one sequence number
        if (!direction.started())
            direction.start(sequence);
    }
    const auto status = direction.feed(sequence, segment.payload, segment.has(TcpSegment::Fin), time,
                                       [this, &connection, fromClient, time](std::span<const std::uint8_t> bytes) {
                                           stream(connection, fromClient, bytes, time);
                                       });
    if (flow.declined) {
        passOver(connection, false);
        return;
    }
    StreamReassembler& other = fromClient ? flow.fromServer : flow.fromClient;
    if (status == StreamReassembler::Status::Gap || other.check(time) == StreamReassembler::Status::Gap) {
        passOver(connection, true);
        return;
    }
    if (flow.fromClient.finished() && flow.fromServer.finished()) {
        remove(m_index.at(connection.key), true);
        return;
    }
    afterInput(connection);
}

void WireDecoder::Impl::stream(Connection& connection,
                               bool fromClient,
                               std::span<const std::uint8_t> bytes,
                               WireTime time)
{
    Flow& flow = *connection.flow;
    if (flow.declined)
        return;
    switch (connection.kind) {
    case Kind::Undecided:
        if (!fromClient || !open(connection, bytes, time))
            flow.declined = true; // the server spoke first, or the bytes are neither
        return;
    case Kind::Tls:
        if (fromClient)
            flow.tls->clientBytes(bytes, time);
        else
            flow.tls->serverBytes(bytes, time);
        return;
    case Kind::PlainHttp:
        if (fromClient)
            flow.http->clientBytes(bytes, time);
        else
            flow.http->serverBytes(bytes, time);
        return;
    case Kind::PassedOver:
        return;
    }
}

bool WireDecoder::Impl::open(Connection& connection, std::span<const std::uint8_t> bytes, WireTime time)
{
    Flow& flow = *connection.flow;
    const std::size_t wanted = std::min<std::size_t>(8 - flow.opening.size(), bytes.size());
    flow.opening.insert(flow.opening.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(wanted));
    const Opening opening = classify(flow.opening);
    if (opening == Opening::NeedMore)
        return flow.opening.size() < 8;
    const std::uint16_t port = connection.server.port;
    if (opening == Opening::Tls) {
        ++m_statistics.tlsConnections;
        connection.kind = Kind::Tls;
        flow.tls = std::make_unique<TlsSession>(m_limits, m_keyLog, flow);
    } else if (opening == Opening::PlainHttp && m_limits.plainHttp && port != 80 && port != 8080) {
        connection.kind = Kind::PlainHttp;
        flow.ensureHttp();
    } else {
        return false;
    }
    std::vector<std::uint8_t> start;
    start.swap(flow.opening);
    stream(connection, true, start, time);
    stream(connection, true, bytes.subspan(wanted), time);
    return true;
}

void WireDecoder::Impl::afterInput(Connection& connection)
{
    Flow& flow = *connection.flow;
    if ((flow.tls && flow.tls->failed()) || (flow.http && flow.http->failed())) {
        passOver(connection, true);
        return;
    }
    if (flow.tls && flow.tls->waitingForKey()) {
        if (m_waiting.insert(&connection).second) {
            flow.keyGeneration = m_keyLog.generation();
            // The browser writes a secret before it uses it: the file most likely has it now.
            m_pollNow = true;
        }
    } else {
        m_waiting.erase(&connection);
    }
}

void WireDecoder::Impl::keys(WireTime time)
{
    if (m_pollNow || time < m_lastPoll || time - m_lastPoll >= m_limits.keyLogPollInterval) {
        m_pollNow = false;
        m_lastPoll = time;
        m_keyLog.poll();
        // Look at every waiting connection now and then, also for the ones whose wait ran out.
        std::vector<Connection*> waiting(m_waiting.begin(), m_waiting.end());
        for (Connection* connection : waiting) {
            Flow& flow = *connection->flow;
            if (flow.keyGeneration != m_keyLog.generation()) {
                flow.keyGeneration = m_keyLog.generation();
                flow.tls->retryKeys(time);
            }
            flow.tls->checkKeyWait(time);
            afterInput(*connection);
        }
    }
}

void WireDecoder::Impl::passOver(Connection& connection, bool abandoned)
{
    if (connection.kind == Kind::PassedOver)
        return;
    if (abandoned)
        ++m_statistics.connectionsAbandoned;
    release(connection, false);
    connection.kind = Kind::PassedOver;
}

void WireDecoder::Impl::release(Connection& connection, bool closed)
{
    const bool waiting = m_waiting.erase(&connection) > 0;
    if (!connection.flow)
        return;
    std::unique_ptr<Flow> flow = std::move(connection.flow);
    if (flow->tls) {
        if (waiting || flow->tls->keyNeverCame()) {
            ++m_statistics.keysMissing;
            if (m_userSink.keysMissing)
                m_userSink.keysMissing();
        }
        m_finishedRecords += flow->tls->decryptedRecords();
        if (flow->tls->hasClientRandom())
            m_keyLog.forget(flow->tls->clientRandom());
    }
    if (flow->http)
        flow->http->end(closed);
}

void WireDecoder::Impl::remove(ConnectionList::iterator it, bool closed)
{
    release(*it, closed);
    m_index.erase(it->key);
    m_connections.erase(it);
}

void WireDecoder::Impl::sweep(WireTime time)
{
    while (!m_connections.empty() && time - m_connections.back().lastSeen > m_limits.idleTimeout)
        remove(std::prev(m_connections.end()), false);
}

void WireDecoder::Impl::finish()
{
    while (!m_connections.empty())
        remove(m_connections.begin(), false);
}

WireDecoder::Statistics WireDecoder::Impl::statistics() const
{
    Statistics statistics = m_statistics;
    statistics.connections = m_connections.size();
    statistics.decryptedRecords = m_finishedRecords;
    for (const Connection& connection : m_connections) {
        if (connection.flow && connection.flow->tls)
            statistics.decryptedRecords += connection.flow->tls->decryptedRecords();
    }
    return statistics;
}

WireDecoder::WireDecoder(KeyLog& keyLog, WireLimits limits, ExchangeSink sink)
    : m_impl(std::make_unique<Impl>(keyLog, limits, std::move(sink)))
{}

WireDecoder::~WireDecoder() = default;

void WireDecoder::feed(int linkType, WireTime time, const std::uint8_t* frame, std::size_t length)
{
    if (frame)
        m_impl->feed(linkType, time, std::span<const std::uint8_t>(frame, length));
}

void WireDecoder::finish()
{
    m_impl->finish();
}

WireDecoder::Statistics WireDecoder::statistics() const
{
    return m_impl->statistics();
}
