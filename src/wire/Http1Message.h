#pragma once

#include "wire/HttpExchange.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One direction of an HTTP/1.1 connection: header sections (bounded), then a body framed by
// Content-Length, chunked coding or the connection's end, counted and never kept.
class Http1Message final
{
public:
    enum class Body
    {
        None,
        Length,
        Chunked,
        UntilClose,
    };

    struct Head
    {
        std::string startLine;
        std::vector<HttpHeader> headers;
        bool truncated = false; // fields past the bound were left out
    };

    struct Handler
    {
        // A header section was read; returns how its body is framed, or nullopt to stop reading.
        std::function<std::optional<Body>(Head& head, std::uint64_t& length, WireTime time)> head;
        std::function<void(std::uint64_t count)> body;
        std::function<void(WireTime time)> end;
    };

    Http1Message(std::size_t maxHeadBytes, Handler handler);

    // Returns false on a framing error or a header section past the bound.
    bool feed(std::span<const std::uint8_t> bytes, WireTime time);
    // Inside a body framed by the connection's end.
    bool readingUntilClose() const { return m_state == State::Body && m_body == Body::UntilClose; }
    bool inBody() const { return m_state != State::Head; }

    // Parses a complete header section (without its blank line), for the tests and the fuzzer.
    static std::optional<Head> parseHead(std::string_view text, std::size_t maxFieldBytes);
    // How a message with these headers frames its body (requests default to none).
    static std::optional<Body> framing(const std::vector<HttpHeader>& headers, std::uint64_t& length);

private:
    enum class State
    {
        Head,
        Body,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
    };

    bool headBytes(std::span<const std::uint8_t>& bytes, WireTime time);
    bool line(std::span<const std::uint8_t>& bytes, std::string& out, bool& complete);
    void finish(WireTime time);

    std::size_t m_maxHead;
    Handler m_handler;
    State m_state = State::Head;
    Body m_body = Body::None;
    std::uint64_t m_remaining = 0;
    std::string m_text; // the header section, a chunk-size line or a trailer line being read
};
