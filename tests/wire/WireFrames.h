#pragma once

#include "wire/Endpoint.h"
#include "wire/FrameDecoder.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text);
Endpoint endpoint(std::string_view address, std::uint16_t port); // "10.0.0.1" or "fd00::1"

// Captured frames as an adapter of the given link type delivers them.
namespace WireFrames {

enum class Link
{
    Ethernet,
    EthernetVlan,
    LinuxCooked,
    LinuxCookedV2,
    Raw,
    BsdLoopback,
};

int linkType(Link link);
Bytes frame(Link link,
            const Endpoint& source,
            const Endpoint& destination,
            std::uint32_t sequence,
            std::uint8_t flags,
            std::span<const std::uint8_t> payload);

} // namespace WireFrames

// Both sides of one TCP connection, keeping their sequence numbers: the tests say what each side
// sends and get the frames, cut into segments of at most `mss` bytes.
class TcpConversation final
{
public:
    TcpConversation(Endpoint client,
                    Endpoint server,
                    WireFrames::Link link = WireFrames::Link::Ethernet,
                    std::uint32_t clientSequence = 1000,
                    std::uint32_t serverSequence = 0xFFFFF000u);

    std::vector<Bytes> open(); // SYN, SYN-ACK, ACK
    std::vector<Bytes> send(bool fromClient, std::span<const std::uint8_t> bytes, std::size_t mss = 1460);
    Bytes fin(bool fromClient);
    Bytes reset(bool fromClient);
    int linkType() const { return WireFrames::linkType(m_link); }
    std::uint32_t nextSequence(bool fromClient) const { return fromClient ? m_clientNext : m_serverNext; }
    Bytes segment(bool fromClient, std::uint32_t sequence, std::span<const std::uint8_t> payload) const;

private:
    Endpoint m_client;
    Endpoint m_server;
    WireFrames::Link m_link;
    std::uint32_t m_clientNext;
    std::uint32_t m_serverNext;
};
