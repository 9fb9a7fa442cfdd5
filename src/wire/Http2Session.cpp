#include "wire/Http2Session.h"

#include <algorithm>
#include <charconv>

namespace {

enum FrameType : std::uint8_t
{
    Data = 0,
    Headers = 1,
    RstStream = 3,
    PushPromise = 5,
    Continuation = 9,
};

enum FrameFlag : std::uint8_t
{
    EndStream = 0x1,
    EndHeaders = 0x4,
    Padded = 0x8,
    Priority = 0x20,
};

std::uint32_t streamId(const std::uint8_t* bytes)
{
    return (std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3]) &
           0x7FFFFFFFu;
}

} // namespace

Http2Session::Http2Session(const WireLimits& limits, ExchangeReporter& reporter)
    : m_limits(limits)
    , m_reporter(reporter)
{
    m_client.prefaceLeft = kPreface.size();
    if (!m_client.inflater.valid() || !m_server.inflater.valid())
        m_failed = true;
}

void Http2Session::clientBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    this->bytes(m_client, bytes, time);
}

void Http2Session::serverBytes(std::span<const std::uint8_t> bytes, WireTime time)
{
    this->bytes(m_server, bytes, time);
}

void Http2Session::bytes(Direction& direction, std::span<const std::uint8_t> bytes, WireTime time)
{
    while (!m_failed && !bytes.empty()) {
        if (direction.prefaceLeft > 0) {
            const std::size_t at = kPreface.size() - direction.prefaceLeft;
            const std::size_t count = std::min(direction.prefaceLeft, bytes.size());
            if (!std::equal(bytes.begin(), bytes.begin() + std::ptrdiff_t(count),
                            kPreface.begin() + std::ptrdiff_t(at)))
                m_failed = true;
            direction.prefaceLeft -= count;
            bytes = bytes.subspan(count);
            continue;
        }
        if (direction.headerHave < 9) {
            const std::size_t count = std::min(9 - direction.headerHave, bytes.size());
            std::copy_n(bytes.begin(), count, direction.header + direction.headerHave);
            direction.headerHave += count;
            bytes = bytes.subspan(count);
            if (direction.headerHave == 9 && !frameStart(direction))
                m_failed = true;
        } else {
            std::size_t count = std::min<std::size_t>(direction.remaining, bytes.size());
            if (direction.padPending && count > 0) {
                direction.padLength = bytes[0];
                direction.padPending = false;
            }
            if (direction.collect)
                direction.payload.insert(direction.payload.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(count));
            direction.remaining -= std::uint32_t(count);
            bytes = bytes.subspan(count);
        }
        if (!m_failed && direction.headerHave == 9 && direction.remaining == 0) {
            if (!frame(direction, time))
                m_failed = true;
            direction.headerHave = 0;
            direction.payload.clear();
        }
    }
}

bool Http2Session::frameStart(Direction& direction)
{
    const std::uint8_t* header = direction.header;
    direction.length = std::uint32_t(header[0]) << 16 | std::uint32_t(header[1]) << 8 | header[2];
    direction.type = header[3];
    direction.flags = header[4];
    direction.stream = streamId(header + 5);
    direction.remaining = direction.length;
    direction.padPending = direction.type == Data && (direction.flags & Padded) != 0;
    direction.padLength = 0;
    if (direction.inBlock && direction.type != Continuation)
        return false; // nothing may come between a block's frames
    direction.collect = direction.type == Headers || direction.type == Continuation || direction.type == PushPromise ||
                        direction.type == RstStream;
    return !direction.collect || direction.length <= m_limits.maxHeaderBlockBytes;
}

bool Http2Session::frame(Direction& direction, WireTime time)
{
    const std::span<const std::uint8_t> payload = direction.payload;
    switch (direction.type) {
    case Data:
        return dataEnd(direction);
    case Headers:
        if (direction.stream == 0 || !blockStart(direction, payload, false))
            return false;
        break;
    case PushPromise:
        if (direction.client || direction.stream == 0 || !blockStart(direction, payload, true))
            return false;
        break;
    case Continuation:
        if (!direction.inBlock || direction.stream != direction.blockStream ||
            direction.block.size() + payload.size() > m_limits.maxHeaderBlockBytes)
            return false;
        direction.block.insert(direction.block.end(), payload.begin(), payload.end());
        break;
    case RstStream:
        if (payload.size() != 4 || direction.stream == 0)
            return false;
        streamEnded(direction.stream, HttpExchange::Ending::Reset);
        return true;
    default: // SETTINGS, PING, PRIORITY, WINDOW_UPDATE, GOAWAY and unknown types: nothing to report
        return true;
    }
    if (direction.flags & EndHeaders)
        return blockEnd(direction, time);
    direction.inBlock = true;
    return true;
}

bool Http2Session::dataEnd(Direction& direction)
{
    std::uint32_t count = direction.length;
    if (direction.flags & Padded) {
        if (direction.length == 0 || direction.padLength > direction.length - 1)
            return false;
        count -= 1 + direction.padLength;
    }
    const auto it = m_streams.find(direction.stream);
    if (it == m_streams.end())
        return true;
    HttpExchange& exchange = it->second.exchange;
    (direction.client ? exchange.requestBodyBytes : exchange.responseBodyBytes) += count;
    if (!direction.client && (direction.flags & EndStream))
        streamEnded(direction.stream, HttpExchange::Ending::Complete);
    return true;
}

bool Http2Session::blockStart(Direction& direction, std::span<const std::uint8_t> payload, bool promise)
{
    std::size_t at = 0;
    std::size_t padding = 0;
    if (direction.flags & Padded) {
        if (payload.empty())
            return false;
        padding = payload[0];
        at = 1;
    }
    if (!promise && (direction.flags & Priority))
        at += 5; // stream dependency and weight
    if (promise) {
        if (payload.size() < at + 4)
            return false;
        direction.promisedStream = streamId(payload.data() + at);
        at += 4;
    }
    if (at + padding > payload.size())
        return false;
    direction.blockType = promise ? PushPromise : Headers;
    direction.blockStream = direction.stream;
    direction.blockEndsStream = !promise && (direction.flags & EndStream) != 0;
    direction.block.assign(payload.begin() + std::ptrdiff_t(at), payload.end() - std::ptrdiff_t(padding));
    return true;
}

bool Http2Session::blockEnd(Direction& direction, WireTime time)
{
    direction.inBlock = false;
    std::vector<HttpHeader> fields;
    bool truncated = false;
    const bool ok = direction.inflater.inflate(direction.block, m_limits.maxHeaderBytes, fields, truncated);
    direction.block.clear();
    if (!ok)
        return false;
    if (direction.blockType == PushPromise)
        requestFields(direction.promisedStream, fields, truncated, time);
    else if (direction.client)
        requestFields(direction.blockStream, fields, truncated, time);
    else
        responseFields(direction.blockStream, fields, truncated, direction.blockEndsStream, time);
    return true;
}

void Http2Session::requestFields(std::uint32_t stream, std::vector<HttpHeader>& fields, bool truncated, WireTime time)
{
    if (m_streams.count(stream) || m_streams.size() >= m_limits.maxOpenExchanges)
        return; // trailers, or a stream past the bound
    Stream& entry = m_streams[stream];
    HttpExchange& exchange = entry.exchange;
    exchange = m_reporter.begin(HttpExchange::Protocol::Http2, time);
    exchange.headersTruncated = truncated;
    std::size_t cookieAt = SIZE_MAX;
    for (HttpHeader& field : fields) {
        if (field.name == ":method")
            exchange.method = std::move(field.value);
        else if (field.name == ":scheme")
            exchange.scheme = std::move(field.value);
        else if (field.name == ":authority")
            exchange.authority = std::move(field.value);
        else if (field.name == ":path")
            exchange.path = std::move(field.value);
        else if (!field.name.empty() && field.name.front() == ':')
            continue;
        else if (field.name == "cookie" && cookieAt != SIZE_MAX)
            exchange.requestHeaders[cookieAt].value += "; " + field.value; // split crumbs joined again
        else {
            if (field.name == "cookie")
                cookieAt = exchange.requestHeaders.size();
            exchange.requestHeaders.push_back(std::move(field));
        }
    }
    if (exchange.authority.empty()) {
        if (const std::string* host = exchange.requestHeader("host"))
            exchange.authority = *host;
    }
}

void Http2Session::responseFields(
    std::uint32_t stream, std::vector<HttpHeader>& fields, bool truncated, bool endStream, WireTime time)
{
    const auto it = m_streams.find(stream);
    if (it == m_streams.end())
        return;
    Stream& entry = it->second;
    if (!entry.responseStarted) {
        int status = 0;
        HttpExchange& exchange = entry.exchange;
        for (HttpHeader& field : fields) {
            if (field.name == ":status") {
                const auto [end, error] =
                    std::from_chars(field.value.data(), field.value.data() + field.value.size(), status);
                if (error != std::errc() || end != field.value.data() + field.value.size())
                    status = 0;
            } else if (field.name.empty() || field.name.front() != ':') {
                exchange.responseHeaders.push_back(std::move(field));
            }
        }
        if (status < 200 || status > 999) {
            exchange.responseHeaders.clear(); // interim (or unreadable): the real one follows
            return;
        }
        exchange.status = status;
        exchange.responseTime = time;
        exchange.headersTruncated = exchange.headersTruncated || truncated;
        entry.responseStarted = true;
        m_reporter.responseStarted(exchange);
    }
    if (endStream)
        streamEnded(stream, HttpExchange::Ending::Complete);
}

void Http2Session::streamEnded(std::uint32_t stream, HttpExchange::Ending ending)
{
    const auto it = m_streams.find(stream);
    if (it == m_streams.end())
        return;
    if (it->second.responseStarted)
        m_reporter.completed(it->second.exchange, ending);
    m_streams.erase(it);
}

void Http2Session::end(bool closed)
{
    for (auto& [id, stream] : m_streams) {
        if (stream.responseStarted)
            m_reporter.completed(stream.exchange,
                                 closed ? HttpExchange::Ending::Reset : HttpExchange::Ending::Abandoned);
    }
    m_streams.clear();
}
