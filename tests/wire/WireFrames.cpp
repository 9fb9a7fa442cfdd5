#include "WireFrames.h"

#include <arpa/inet.h>

namespace {

void put16(Bytes& out, std::uint32_t value)
{
    out.push_back(std::uint8_t(value >> 8));
    out.push_back(std::uint8_t(value));
}

void put32(Bytes& out, std::uint32_t value)
{
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

Bytes tcp(const Endpoint& source,
          const Endpoint& destination,
          std::uint32_t sequence,
          std::uint8_t flags,
          std::span<const std::uint8_t> payload)
{
    Bytes out;
    put16(out, source.port);
    put16(out, destination.port);
    put32(out, sequence);
    put32(out, 1);
    out.push_back(std::uint8_t((32 / 4) << 4)); // 12 option bytes, as Linux sends
    out.push_back(flags);
    put16(out, 65535);
    put32(out, 0);
    out.insert(out.end(), 12, 1);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes ip(const Endpoint& source, const Endpoint& destination, const Bytes& segment)
{
    Bytes out;
    if (source.v6) {
        put32(out, 0x60000000);
        put16(out, std::uint32_t(segment.size()));
        out.push_back(6);
        out.push_back(64);
        out.insert(out.end(), source.address.begin(), source.address.end());
        out.insert(out.end(), destination.address.begin(), destination.address.end());
    } else {
        out.push_back(0x45);
        out.push_back(0);
        put16(out, std::uint32_t(20 + segment.size()));
        put32(out, 0x00004000);
        out.push_back(64);
        out.push_back(6);
        put16(out, 0);
        out.insert(out.end(), source.address.begin(), source.address.begin() + 4);
        out.insert(out.end(), destination.address.begin(), destination.address.begin() + 4);
    }
    out.insert(out.end(), segment.begin(), segment.end());
    return out;
}

} // namespace

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Endpoint endpoint(std::string_view address, std::uint16_t port)
{
    Endpoint result;
    result.port = port;
    result.v6 = address.find(':') != std::string_view::npos;
    const std::string text(address);
    inet_pton(result.v6 ? AF_INET6 : AF_INET, text.c_str(), result.address.data());
    return result;
}

namespace WireFrames {

int linkType(Link link)
{
    switch (link) {
    case Link::Ethernet:
    case Link::EthernetVlan:
        return 1;
    case Link::LinuxCooked:
        return 113;
    case Link::LinuxCookedV2:
        return 276;
    case Link::Raw:
        return 101;
    case Link::BsdLoopback:
        return 0;
    }
    return 1;
}

Bytes frame(Link link,
            const Endpoint& source,
            const Endpoint& destination,
            std::uint32_t sequence,
            std::uint8_t flags,
            std::span<const std::uint8_t> payload)
{
    const Bytes packet = ip(source, destination, tcp(source, destination, sequence, flags, payload));
    const std::uint32_t etherType = source.v6 ? 0x86DD : 0x0800;
    Bytes out;
    switch (link) {
    case Link::Ethernet:
        out.assign(12, 0x02);
        put16(out, etherType);
        break;
    case Link::EthernetVlan:
        out.assign(12, 0x02);
        put16(out, 0x8100);
        put16(out, 42);
        put16(out, etherType);
        break;
    case Link::LinuxCooked:
        put16(out, 0);
        put16(out, 772);
        put16(out, 6);
        out.insert(out.end(), 8, 0);
        put16(out, etherType);
        break;
    case Link::LinuxCookedV2:
        put16(out, etherType);
        out.insert(out.end(), 18, 0);
        break;
    case Link::Raw:
        break;
    case Link::BsdLoopback: // host order of the capturing machine: little-endian here
        out = {std::uint8_t(source.v6 ? 30 : 2), 0, 0, 0};
        break;
    }
    out.insert(out.end(), packet.begin(), packet.end());
    // Ethernet pads short frames to 60 bytes: the IP length must win over the frame's.
    if ((link == Link::Ethernet || link == Link::EthernetVlan) && out.size() < 60)
        out.resize(60, 0);
    return out;
}

} // namespace WireFrames

TcpConversation::TcpConversation(
    Endpoint client, Endpoint server, WireFrames::Link link, std::uint32_t clientSequence, std::uint32_t serverSequence)
    : m_client(client)
    , m_server(server)
    , m_link(link)
    , m_clientNext(clientSequence)
    , m_serverNext(serverSequence)
{}

std::vector<Bytes> TcpConversation::open()
{
    std::vector<Bytes> frames;
    frames.push_back(WireFrames::frame(m_link, m_client, m_server, m_clientNext++, TcpSegment::Syn, {}));
    frames.push_back(
        WireFrames::frame(m_link, m_server, m_client, m_serverNext++, TcpSegment::Syn | TcpSegment::Ack, {}));
    frames.push_back(WireFrames::frame(m_link, m_client, m_server, m_clientNext, TcpSegment::Ack, {}));
    return frames;
}

Bytes TcpConversation::segment(bool fromClient, std::uint32_t sequence, std::span<const std::uint8_t> payload) const
{
    return fromClient ? WireFrames::frame(m_link, m_client, m_server, sequence, TcpSegment::Ack | 0x08, payload)
                      : WireFrames::frame(m_link, m_server, m_client, sequence, TcpSegment::Ack | 0x08, payload);
}

std::vector<Bytes> TcpConversation::send(bool fromClient, std::span<const std::uint8_t> bytes, std::size_t mss)
{
    std::vector<Bytes> frames;
    std::uint32_t& next = fromClient ? m_clientNext : m_serverNext;
    while (!bytes.empty()) {
        const std::size_t count = std::min(mss, bytes.size());
        frames.push_back(segment(fromClient, next, bytes.first(count)));
        next += std::uint32_t(count);
        bytes = bytes.subspan(count);
    }
    return frames;
}

Bytes TcpConversation::fin(bool fromClient)
{
    std::uint32_t& next = fromClient ? m_clientNext : m_serverNext;
    const std::uint8_t flags = TcpSegment::Fin | TcpSegment::Ack;
    Bytes frame = fromClient ? WireFrames::frame(m_link, m_client, m_server, next, flags, {})
                             : WireFrames::frame(m_link, m_server, m_client, next, flags, {});
    ++next;
    return frame;
}

Bytes TcpConversation::reset(bool fromClient)
{
    const std::uint32_t next = fromClient ? m_clientNext : m_serverNext;
    return fromClient ? WireFrames::frame(m_link, m_client, m_server, next, TcpSegment::Rst, {})
                      : WireFrames::frame(m_link, m_server, m_client, next, TcpSegment::Rst, {});
}
