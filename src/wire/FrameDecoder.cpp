#include "wire/FrameDecoder.h"

#include "wire/ByteCursor.h"

#include <algorithm>

namespace FrameDecoder {
namespace {

constexpr std::uint32_t kEtherIpv4 = 0x0800;
constexpr std::uint32_t kEtherIpv6 = 0x86DD;
constexpr std::uint32_t kEtherVlan = 0x8100;
constexpr std::uint32_t kEtherQinQ = 0x88A8;
constexpr std::uint32_t kProtocolTcp = 6;

// Each reader checks the fixed part of its header first, so its field reads all succeed.
std::optional<TcpSegment> tcp(std::span<const std::uint8_t> bytes, TcpSegment segment)
{
    if (bytes.size() < 20)
        return std::nullopt;
    ByteCursor cursor(bytes);
    const auto sourcePort = cursor.u16();
    const auto destinationPort = cursor.u16();
    const auto sequence = cursor.u32();
    cursor.skip(4); // acknowledgement
    const auto offset = cursor.u8();
    const auto flags = cursor.u8();
    if (!flags)
        return std::nullopt;
    const std::size_t headerLength = std::size_t(*offset >> 4) * 4;
    if (headerLength < 20 || headerLength > bytes.size())
        return std::nullopt;
    segment.source.port = std::uint16_t(*sourcePort);
    segment.destination.port = std::uint16_t(*destinationPort);
    segment.sequence = *sequence;
    segment.flags = std::uint8_t(*flags);
    segment.payload = bytes.subspan(headerLength);
    return segment;
}

std::optional<TcpSegment> ipv4(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 20)
        return std::nullopt;
    ByteCursor cursor(bytes);
    const auto versionAndLength = cursor.u8();
    cursor.skip(1);
    const auto totalLength = cursor.u16();
    cursor.skip(2);
    const auto fragment = cursor.u16();
    cursor.skip(1);
    const auto protocol = cursor.u8();
    cursor.skip(2);
    const auto source = cursor.take(4);
    const auto destination = cursor.take(4);
    if (!destination || (*versionAndLength >> 4) != 4 || *protocol != kProtocolTcp)
        return std::nullopt;
    if ((*fragment & 0x3FFF) != 0) // more fragments, or not the first
        return std::nullopt;
    const std::size_t headerLength = std::size_t(*versionAndLength & 0x0F) * 4;
    if (headerLength < 20 || *totalLength < headerLength || headerLength > bytes.size())
        return std::nullopt;
    TcpSegment segment;
    std::copy(source->begin(), source->end(), segment.source.address.begin());
    std::copy(destination->begin(), destination->end(), segment.destination.address.begin());
    // Ethernet pads short frames: the IP length, not the frame, says where the segment ends.
    segment.truncated = *totalLength > bytes.size();
    const std::size_t end = std::min<std::size_t>(*totalLength, bytes.size());
    return tcp(bytes.subspan(headerLength, end - headerLength), segment);
}

std::optional<TcpSegment> ipv6(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 40)
        return std::nullopt;
    ByteCursor cursor(bytes);
    const auto version = cursor.u8();
    cursor.skip(3);
    const auto payloadLength = cursor.u16();
    auto next = cursor.u8();
    cursor.skip(1);
    const auto source = cursor.take(16);
    const auto destination = cursor.take(16);
    if (!destination || (*version >> 4) != 6)
        return std::nullopt;
    TcpSegment segment;
    segment.source.v6 = segment.destination.v6 = true;
    std::copy(source->begin(), source->end(), segment.source.address.begin());
    std::copy(destination->begin(), destination->end(), segment.destination.address.begin());
    std::size_t available = cursor.remaining();
    if (*payloadLength != 0) { // zero: a jumbogram, bounded by the frame
        segment.truncated = *payloadLength > available;
        available = std::min<std::size_t>(*payloadLength, available);
    }
    ByteCursor payload(cursor.rest().first(available));
    // Hop-by-hop, routing and destination options may stand before TCP; a fragment header
    // means a fragment, which is not reassembled.
    for (int header = 0; header < 8; ++header) {
        if (*next == kProtocolTcp)
            return tcp(payload.rest(), segment);
        if (*next != 0 && *next != 43 && *next != 60)
            return std::nullopt;
        next = payload.u8();
        const auto length = payload.u8();
        if (!length || !payload.skip(std::size_t(*length) * 8 + 6))
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<TcpSegment> ip(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return std::nullopt;
    switch (bytes[0] >> 4) {
    case 4:
        return ipv4(bytes);
    case 6:
        return ipv6(bytes);
    default:
        return std::nullopt;
    }
}

std::optional<TcpSegment> byEtherType(std::uint32_t type, std::span<const std::uint8_t> bytes)
{
    if (type == kEtherIpv4)
        return ipv4(bytes);
    if (type == kEtherIpv6)
        return ipv6(bytes);
    return std::nullopt;
}

std::optional<TcpSegment> ethernet(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 14)
        return std::nullopt;
    ByteCursor cursor(frame);
    cursor.skip(12);
    auto type = cursor.u16();
    for (int tag = 0; tag < 2 && type && (*type == kEtherVlan || *type == kEtherQinQ); ++tag) {
        cursor.skip(2);
        type = cursor.u16();
    }
    return type ? byEtherType(*type, cursor.rest()) : std::nullopt;
}

std::optional<TcpSegment> bsdLoopback(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 4)
        return std::nullopt;
    // The address family is in the capturing host's order; its values are small either way.
    const std::uint32_t family = frame[0] != 0 ? frame[0] : frame[3];
    const auto rest = frame.subspan(4);
    if (family == 2)
        return ipv4(rest);
    if (family == 10 || family == 24 || family == 28 || family == 30)
        return ipv6(rest);
    return std::nullopt;
}

} // namespace

std::optional<TcpSegment> decode(int linkType, std::span<const std::uint8_t> frame)
{
    switch (linkType) {
    case 0: // DLT_NULL
        return bsdLoopback(frame);
    case 1: // DLT_EN10MB
        return ethernet(frame);
    case 12: // DLT_RAW as libpcap names it on most systems
    case 14:
    case 101: // LINKTYPE_RAW in capture files
        return ip(frame);
    case 113: { // DLT_LINUX_SLL
        ByteCursor cursor(frame);
        const auto type = cursor.skip(14) ? cursor.u16() : std::nullopt;
        return type ? byEtherType(*type, cursor.rest()) : std::nullopt;
    }
    case 276: { // DLT_LINUX_SLL2
        ByteCursor cursor(frame);
        const auto type = cursor.u16();
        return type && cursor.skip(18) ? byEtherType(*type, cursor.rest()) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace FrameDecoder
