#include "DecoderHarness.h"

#include "wire/Http1Message.h"

#include <gtest/gtest.h>

namespace {

const Endpoint kClient = endpoint("10.1.1.2", 50500);

struct Plain
{
    explicit Plain(std::uint16_t port = 8000, WireLimits limits = {})
        : harness(limits)
        , conversation(kClient, endpoint("10.1.1.1", port))
    {
        harness.feed(conversation.open());
    }
    void client(std::string_view text, std::size_t mss = 1460)
    {
        harness.feed(conversation.send(true, bytesOf(text), mss));
    }
    void server(std::string_view text, std::size_t mss = 1460)
    {
        harness.feed(conversation.send(false, bytesOf(text), mss));
    }
    void close()
    {
        harness.feed(conversation.fin(false));
        harness.feed(conversation.fin(true));
    }

    DecoderHarness harness;
    TcpConversation conversation;
};

TEST(Http1, KeepAliveCarriesEveryKindOfBody)
{
    Plain http;
    // Pipelined: all requests first, one of them with a body; then the answers in order.
    http.client("GET /a.mp4 HTTP/1.1\r\nHost: media.test:8000\r\nCookie: c=1\r\n\r\n"
                "HEAD /b.mp4 HTTP/1.1\r\nHost: media.test:8000\r\n\r\n"
                "POST /c HTTP/1.1\r\nHost: media.test:8000\r\nContent-Length: 4\r\n\r\nbody"
                "GET /d HTTP/1.1\r\nHost: media.test:8000\r\n\r\n"
                "GET /e HTTP/1.1\r\nHost: media.test:8000\r\n\r\n"
                "GET http://other.test/f?x=1 HTTP/1.1\r\n\r\n",
                7); // tiny segments: every boundary falls somewhere
    http.server("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 10\r\n\r\n0123456789"
                "HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n" // HEAD: no body despite the length
                "HTTP/1.1 100 Continue\r\n\r\n"
                "HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n"
                "4;ext=1\r\nabcd\r\nA\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n"
                "HTTP/1.1 204 No Content\r\n\r\n"
                "HTTP/1.1 304 Not Modified\r\nContent-Length: 50\r\n\r\n"
                "HTTP/1.1 200 OK\nContent-Type: text/html\n\n<html>until the end",
                9);
    http.close();

    const auto& done = http.harness.completed;
    ASSERT_EQ(done.size(), 6u);
    EXPECT_EQ(done[0].path, "/a.mp4");
    EXPECT_EQ(*done[0].requestHeader("cookie"), "c=1");
    EXPECT_EQ(done[0].responseBodyBytes, 10u);
    EXPECT_EQ(done[1].method, "HEAD");
    EXPECT_EQ(done[1].responseBodyBytes, 0u);
    EXPECT_EQ(done[2].status, 201);
    EXPECT_EQ(done[2].requestBodyBytes, 4u);
    EXPECT_EQ(done[2].responseBodyBytes, 14u);
    EXPECT_EQ(done[3].status, 204);
    EXPECT_EQ(done[4].status, 304);
    EXPECT_EQ(done[5].authority, "other.test");
    EXPECT_EQ(done[5].path, "/f?x=1");
    EXPECT_EQ(done[5].responseBodyBytes, 19u);
    for (const HttpExchange& exchange : done) {
        EXPECT_EQ(exchange.ending, HttpExchange::Ending::Complete) << exchange.path;
        EXPECT_EQ(exchange.scheme, "http");
        EXPECT_FALSE(exchange.encrypted);
    }
    EXPECT_EQ(done[0].authority, "media.test:8000");
    // Each was reported once its headers were read, before its body ended.
    ASSERT_EQ(http.harness.started.size(), 6u);
    EXPECT_EQ(http.harness.started[0].ending, HttpExchange::Ending::Open);
    EXPECT_EQ(http.harness.started[0].id, done[0].id);
}

TEST(Http1, ReportedAsSoonAsTheResponseHeadersAreRead)
{
    Plain http;
    http.client("GET /live.ts HTTP/1.1\r\nHost: h\r\n\r\n");
    http.server("HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nContent-Length: 100000\r\n\r\n");
    ASSERT_EQ(http.harness.started.size(), 1u);
    EXPECT_TRUE(http.harness.completed.empty());
    http.server(std::string(1000, 'x'));
    http.harness.feed(http.conversation.reset(true));
    ASSERT_EQ(http.harness.completed.size(), 1u);
    EXPECT_EQ(http.harness.completed[0].ending, HttpExchange::Ending::Reset);
    EXPECT_EQ(http.harness.completed[0].responseBodyBytes, 1000u);
}

TEST(Http1, PortsOfTheFrameAnalyserAndOtherProtocolsAreLeftAlone)
{
    for (const std::uint16_t port : {80, 8080}) {
        Plain http(port);
        http.client("GET /a.mp4 HTTP/1.1\r\nHost: h\r\n\r\n");
        http.server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        EXPECT_TRUE(http.harness.started.empty()) << port;
        // Port 80 is not even looked up; on 8080 nothing is kept for a plain connection.
        EXPECT_EQ(http.harness.decoder.statistics().connections, 0u) << port;
    }
    // 8080 may carry TLS: a connection opening with a handshake record there is taken up, also
    // when its first segment is too short to tell.
    Plain tls(8080);
    tls.client(std::string_view("\x16\x03\x01\x00\x05\x01\x00\x00\x01\x00", 10));
    EXPECT_EQ(tls.harness.decoder.statistics().tlsConnections, 1u);
    Plain split(8080);
    split.client(std::string_view("\x16\x03\x01", 3));
    split.client(std::string_view("\x00\x05\x01\x00\x00\x01\x00", 7));
    EXPECT_EQ(split.harness.decoder.statistics().tlsConnections, 1u);
    Plain shortPlain(8080);
    shortPlain.client("GET");
    shortPlain.client(" /a.mp4 HTTP/1.1\r\nHost: h\r\n\r\n");
    shortPlain.server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(shortPlain.harness.started.empty());
    Plain ssh(22);
    ssh.server("SSH-2.0-server\r\n"); // the server speaks first
    ssh.client("GET / HTTP/1.1\r\n\r\n");
    ssh.server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(ssh.harness.started.empty());
    EXPECT_EQ(ssh.harness.decoder.statistics().connections, 1u); // remembered as passed over

    WireLimits off;
    off.plainHttp = false;
    Plain disabled(8000, off);
    disabled.client("GET /a HTTP/1.1\r\n\r\n");
    disabled.server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(disabled.harness.started.empty());
}

TEST(Http1, BrokenFramingAndOverlongHeadersStopTheConnection)
{
    const std::string tooLong = "GET / HTTP/1.1\r\nX: " + std::string(70000, 'a') + "\r\n\r\n";
    const std::string cases[][2] = {
        {tooLong, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n"},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabHTTP/1.1 200 OK\r\n\r\n"},
    };
    for (const auto& [request, response] : cases) {
        Plain http;
        http.client(request);
        http.server(response);
        EXPECT_EQ(http.harness.decoder.statistics().connectionsAbandoned, 1u) << response;
    }
}

TEST(Http1, HeadSectionsAreParsedExactly)
{
    const auto head = Http1Message::parseHead("HTTP/1.1 200 OK\r\nA:  one \r\nB:two\r\n folded\r\n", 1000);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->startLine, "HTTP/1.1 200 OK");
    ASSERT_EQ(head->headers.size(), 2u);
    EXPECT_EQ(head->headers[0].value, "one");
    EXPECT_EQ(head->headers[1].value, "two folded");
    EXPECT_FALSE(Http1Message::parseHead("HTTP/1.1 200 OK\r\nNo colon here\r\n", 1000));
    EXPECT_FALSE(Http1Message::parseHead("HTTP/1.1 200 OK\r\nBad name: x\r\n", 1000));

    std::uint64_t length = 0;
    EXPECT_EQ(Http1Message::framing({{"Transfer-Encoding", "gzip, chunked"}, {"Content-Length", "5"}}, length),
              Http1Message::Body::Chunked);
    EXPECT_EQ(Http1Message::framing({{"content-length", "5"}, {"Content-Length", "5"}}, length),
              Http1Message::Body::Length);
    EXPECT_EQ(length, 5u);
    EXPECT_FALSE(Http1Message::framing({{"Content-Length", "-1"}}, length));
    EXPECT_FALSE(Http1Message::framing({{"Content-Length", "99999999999999999999999"}}, length));
}

} // namespace
