#pragma once

#include "wire/Endpoint.h"

#include <cstdint>
#include <optional>
#include <span>

// The TCP segment inside one captured frame.
struct TcpSegment
{
    enum Flag : std::uint8_t
    {
        Fin = 0x01,
        Syn = 0x02,
        Rst = 0x04,
        Ack = 0x10,
    };

    Endpoint source;
    Endpoint destination;
    std::uint32_t sequence = 0;
    std::uint8_t flags = 0;
    std::span<const std::uint8_t> payload; // points into the frame
    // Fewer bytes were captured than the IP header announces: the payload is incomplete.
    bool truncated = false;

    bool has(Flag flag) const { return (flags & flag) != 0; }
};

// Finds the TCP segment of a frame: the link header (Ethernet with up to two VLAN tags, Linux
// cooked v1 and v2, raw IP, BSD loopback), then IPv4 or IPv6 (extension headers skipped). IP
// fragments and anything that is not TCP give nullopt; so does every header that does not fit.
namespace FrameDecoder {

std::optional<TcpSegment> decode(int linkType, std::span<const std::uint8_t> frame);

} // namespace FrameDecoder
