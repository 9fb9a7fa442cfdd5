#include "DecoderHarness.h"

#include <gtest/gtest.h>

namespace {

Bytes dataFrame(std::uint16_t clientPort, std::string_view payload)
{
    return WireFrames::frame(WireFrames::Link::Ethernet, endpoint("10.2.0.2", clientPort), endpoint("10.2.0.1", 9000),
                             1, TcpSegment::Ack, bytesOf(payload));
}

TEST(ConnectionTable, HoldsAtMostItsBoundOldestOut)
{
    WireLimits limits;
    limits.maxConnections = 4;
    DecoderHarness harness(limits);
    for (std::uint16_t port = 1000; port < 1010; ++port)
        harness.feed(dataFrame(port, "not http"));
    EXPECT_EQ(harness.decoder.statistics().connections, 4u);
    // A connection evicted while its request waits cannot report it.
    harness.feed(dataFrame(2000, "GET /a HTTP/1.1\r\n\r\n"));
    for (std::uint16_t port = 3000; port < 3004; ++port)
        harness.feed(dataFrame(port, "noise"));
    harness.feed(WireFrames::frame(WireFrames::Link::Ethernet, endpoint("10.2.0.1", 9000), endpoint("10.2.0.2", 2000),
                                   7, TcpSegment::Ack, bytesOf("HTTP/1.1 200 OK\r\n\r\n")));
    EXPECT_TRUE(harness.started.empty());
}

TEST(ConnectionTable, IdleConnectionsAreForgotten)
{
    WireLimits limits;
    limits.idleTimeout = 5'000'000;
    DecoderHarness harness(limits);
    harness.feed(dataFrame(1000, "x"));
    harness.feed(dataFrame(1001, "x"));
    harness.time += 4'000'000;
    harness.feed(dataFrame(1001, "y"));
    harness.time += 2'000'000;
    harness.feed(dataFrame(1002, "z"));
    EXPECT_EQ(harness.decoder.statistics().connections, 2u); // 1000 was idle too long
}

TEST(ConnectionTable, AGapThatNeverFillsEndsOnlyItsConnection)
{
    WireLimits limits;
    limits.gapTimeout = 1'000'000;
    DecoderHarness harness(limits);
    TcpConversation broken(endpoint("10.3.0.2", 4000), endpoint("10.3.0.1", 8000));
    TcpConversation fine(endpoint("10.3.0.3", 4000), endpoint("10.3.0.1", 8000));
    harness.feed(broken.open());
    harness.feed(fine.open());
    auto request = broken.send(true, bytesOf("GET /gap HTTP/1.1\r\nHost: h\r\n\r\n"), 10);
    request.erase(request.begin() + 1); // lost for good
    harness.feed(request);
    harness.time += 2'000'000;
    harness.feed(broken.send(false, bytesOf("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")));
    harness.feed(fine.send(true, bytesOf("GET /fine HTTP/1.1\r\nHost: h\r\n\r\n")));
    harness.feed(fine.send(false, bytesOf("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")));
    ASSERT_EQ(harness.started.size(), 1u);
    EXPECT_EQ(harness.started[0].path, "/fine");
    EXPECT_EQ(harness.decoder.statistics().connectionsAbandoned, 1u);
}

TEST(ConnectionTable, PortsTakenAgainByANewConnectionAreReadAgain)
{
    DecoderHarness harness;
    const Endpoint client = endpoint("10.5.0.2", 4000);
    const Endpoint server = endpoint("10.5.0.1", 8000);
    TcpConversation old(client, server, WireFrames::Link::Ethernet, 5000, 9000);
    harness.feed(old.open());
    harness.feed(old.send(true, bytesOf("\x01\x02 not http")));
    // The same ports again, without a close that was seen.
    TcpConversation again(client, server, WireFrames::Link::Ethernet, 700000, 800000);
    harness.feed(again.open());
    harness.feed(again.send(true, bytesOf("GET /again HTTP/1.1\r\nHost: h\r\n\r\n")));
    harness.feed(again.send(false, bytesOf("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")));
    ASSERT_EQ(harness.started.size(), 1u);
    EXPECT_EQ(harness.started[0].path, "/again");
}

TEST(ConnectionTable, FinishCompletesWhatIsOpen)
{
    DecoderHarness harness;
    TcpConversation conversation(endpoint("10.4.0.2", 4000), endpoint("10.4.0.1", 8000));
    harness.feed(conversation.open());
    harness.feed(conversation.send(true, bytesOf("GET /open HTTP/1.1\r\nHost: h\r\n\r\n")));
    harness.feed(conversation.send(false, bytesOf("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n12345")));
    harness.decoder.finish();
    ASSERT_EQ(harness.completed.size(), 1u);
    EXPECT_EQ(harness.completed[0].ending, HttpExchange::Ending::Abandoned);
    EXPECT_EQ(harness.completed[0].responseBodyBytes, 5u);
    EXPECT_EQ(harness.decoder.statistics().connections, 0u);
}

} // namespace
