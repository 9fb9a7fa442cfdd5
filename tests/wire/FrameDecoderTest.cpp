#include "WireFrames.h"

#include "wire/FrameDecoder.h"

#include <gtest/gtest.h>

namespace {

using WireFrames::Link;

struct LinkCase
{
    const char* name;
    Link link;
    bool v6;
};

class EveryLink : public testing::TestWithParam<LinkCase>
{
};

TEST_P(EveryLink, FindsTheSegment)
{
    const Endpoint source = GetParam().v6 ? endpoint("fd00::1", 40000) : endpoint("10.0.0.1", 40000);
    const Endpoint destination = GetParam().v6 ? endpoint("fd00::2", 443) : endpoint("10.0.0.2", 443);
    const Bytes payload = bytesOf("hi"); // short: Ethernet pads the frame behind it
    const Bytes frame = WireFrames::frame(GetParam().link, source, destination, 77, TcpSegment::Ack, payload);
    const auto segment = FrameDecoder::decode(WireFrames::linkType(GetParam().link), frame);
    ASSERT_TRUE(segment);
    EXPECT_EQ(segment->source, source);
    EXPECT_EQ(segment->destination, destination);
    EXPECT_EQ(segment->sequence, 77u);
    EXPECT_EQ(Bytes(segment->payload.begin(), segment->payload.end()), payload);
    EXPECT_FALSE(segment->truncated);
    EXPECT_EQ(segment->source.toString(), GetParam().v6 ? "[fd00::1]:40000" : "10.0.0.1:40000");

    // Every shorter capture is refused or read within its bytes, never past them.
    for (std::size_t cut = 0; cut < frame.size(); ++cut) {
        const auto shorter = FrameDecoder::decode(WireFrames::linkType(GetParam().link), std::span(frame).first(cut));
        if (shorter) {
            EXPECT_LE(shorter->payload.data() + shorter->payload.size(), frame.data() + cut) << "cut " << cut;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Links,
                         EveryLink,
                         testing::Values(LinkCase{"Ethernet", Link::Ethernet, false},
                                         LinkCase{"EthernetV6", Link::Ethernet, true},
                                         LinkCase{"Vlan", Link::EthernetVlan, false},
                                         LinkCase{"Cooked", Link::LinuxCooked, false},
                                         LinkCase{"CookedV2", Link::LinuxCookedV2, true},
                                         LinkCase{"Raw", Link::Raw, false},
                                         LinkCase{"RawV6", Link::Raw, true},
                                         LinkCase{"Loopback", Link::BsdLoopback, false},
                                         LinkCase{"LoopbackV6", Link::BsdLoopback, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FrameDecoder, RefusesWhatIsNotAWholeTcpSegment)
{
    const Endpoint a = endpoint("10.0.0.1", 1000);
    const Endpoint b = endpoint("10.0.0.2", 443);
    const Bytes payload = bytesOf("payload");
    Bytes fragment = WireFrames::frame(Link::Raw, a, b, 1, TcpSegment::Ack, payload);
    fragment[6] |= 0x20; // more fragments
    EXPECT_FALSE(FrameDecoder::decode(101, fragment));
    Bytes udp = WireFrames::frame(Link::Raw, a, b, 1, TcpSegment::Ack, payload);
    udp[9] = 17;
    EXPECT_FALSE(FrameDecoder::decode(101, udp));
    Bytes shortHeader = WireFrames::frame(Link::Raw, a, b, 1, TcpSegment::Ack, payload);
    shortHeader[20 + 12] = 0x40; // a TCP header of 16 bytes
    EXPECT_FALSE(FrameDecoder::decode(101, shortHeader));
    EXPECT_FALSE(FrameDecoder::decode(147, WireFrames::frame(Link::Raw, a, b, 1, 0, payload))); // unknown link

    // A capture shorter than the IP length says so: that stream has a hole.
    const Bytes whole = WireFrames::frame(Link::Raw, a, b, 1, TcpSegment::Ack, payload);
    const auto cut = FrameDecoder::decode(101, std::span(whole).first(whole.size() - 3));
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->truncated);
    EXPECT_EQ(cut->payload.size(), payload.size() - 3);
}

} // namespace
