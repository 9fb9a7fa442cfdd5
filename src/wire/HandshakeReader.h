#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Splits one direction's handshake bytes (the content of its handshake records, which may cut
// messages anywhere) into messages. Only the bodies of the message types asked for are kept, up
// to `maxBody` bytes; the others are only counted past. A longer wanted message is an error.
class HandshakeReader final
{
public:
    // (type, body): the body is empty for messages whose content was not asked for.
    using Handler = std::function<void(std::uint8_t type, std::span<const std::uint8_t> body)>;

    explicit HandshakeReader(std::size_t maxBody);

    // Types whose bodies are kept (a bit per type number below 32).
    void setWanted(std::uint32_t typeMask) { m_wanted = typeMask; }

    // Returns false when a wanted message is longer than the bound.
    bool feed(std::span<const std::uint8_t> bytes, const Handler& handle);

private:
    std::size_t m_maxBody;
    std::uint32_t m_wanted = 0;
    std::uint8_t m_header[4] = {};
    std::size_t m_headerHave = 0;
    std::size_t m_remaining = 0; // body bytes still to come
    bool m_keeping = false;
    std::vector<std::uint8_t> m_body;
};
