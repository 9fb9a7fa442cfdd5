#pragma once

#include "wire/ExchangeReporter.h"
#include "wire/HpackInflater.h"
#include "wire/HttpReader.h"

#include <unordered_map>
#include <vector>

// HTTP/2 over one connection: the client preface, then frames in both directions. Header blocks
// (HEADERS or PUSH_PROMISE with their CONTINUATION frames, padding and priority fields removed)
// go through one HPACK inflater per direction; DATA is counted, never kept. Bounds: a header
// block of WireLimits::maxHeaderBlockBytes, a header list of maxHeaderBytes (later fields are
// left out), maxOpenExchanges streams followed at once (later ones are decoded but not
// reported), and the frame being read when it is not DATA.
class Http2Session final : public HttpReader
{
public:
    static constexpr std::string_view kPreface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";

    Http2Session(const WireLimits& limits, ExchangeReporter& reporter);

    void clientBytes(std::span<const std::uint8_t> bytes, WireTime time) override;
    void serverBytes(std::span<const std::uint8_t> bytes, WireTime time) override;
    void end(bool closed) override;

private:
    struct Direction
    {
        explicit Direction(bool isClient)
            : client(isClient)
        {}
        bool client;
        std::size_t prefaceLeft = 0;
        std::uint8_t header[9] = {};
        std::size_t headerHave = 0;
        std::uint32_t length = 0;
        std::uint8_t type = 0;
        std::uint8_t flags = 0;
        std::uint32_t stream = 0;
        std::uint32_t remaining = 0;
        bool collect = false;
        bool padPending = false; // a padded DATA frame whose pad length is still to come
        std::uint32_t padLength = 0;
        std::vector<std::uint8_t> payload;
        // A header block waiting for its CONTINUATION frames.
        bool inBlock = false;
        std::uint8_t blockType = 0;
        std::uint32_t blockStream = 0;
        std::uint32_t promisedStream = 0;
        bool blockEndsStream = false;
        std::vector<std::uint8_t> block;
        HpackInflater inflater;
    };

    struct Stream
    {
        HttpExchange exchange;
        bool responseStarted = false;
    };

    void bytes(Direction& direction, std::span<const std::uint8_t> bytes, WireTime time);
    bool frameStart(Direction& direction);
    bool frame(Direction& direction, WireTime time);
    bool dataEnd(Direction& direction);
    bool blockStart(Direction& direction, std::span<const std::uint8_t> payload, bool promise);
    bool blockEnd(Direction& direction, WireTime time);
    void requestFields(std::uint32_t stream, std::vector<HttpHeader>& fields, bool truncated, WireTime time);
    void responseFields(
        std::uint32_t stream, std::vector<HttpHeader>& fields, bool truncated, bool endStream, WireTime time);
    void streamEnded(std::uint32_t stream, HttpExchange::Ending ending);

    const WireLimits& m_limits;
    ExchangeReporter& m_reporter;
    Direction m_client{true};
    Direction m_server{false};
    std::unordered_map<std::uint32_t, Stream> m_streams;
};
