#include "DecoderHarness.h"
#include "Http2Frames.h"
#include "TlsPair.h"

#include <gtest/gtest.h>

namespace {

const Endpoint kClient = endpoint("fd00::20", 52000);
const Endpoint kServer = endpoint("fd00::1", 8443);

Fields request(const std::string& path, Fields extra = {})
{
    Fields fields = {{":method", "GET"}, {":scheme", "http"}, {":authority", "media.test:8443"}, {":path", path}};
    fields.insert(fields.end(), extra.begin(), extra.end());
    return fields;
}

// Plain HTTP/2 (prior knowledge) on a port the frame analyser does not read.
struct Http2Connection
{
    explicit Http2Connection(WireLimits limits = {})
        : harness(limits)
    {
        harness.feed(conversation.open());
    }
    void client(const Bytes& bytes) { harness.feed(conversation.send(true, bytes)); }
    void server(const Bytes& bytes) { harness.feed(conversation.send(false, bytes)); }

    DecoderHarness harness;
    TcpConversation conversation{kClient, kServer};
    Http2Frames fromClient;
    Http2Frames fromServer;
};

TEST(Http2, TheDynamicTableCarriesAcrossRequestsAndCookiesAreJoined)
{
    Http2Connection h2;
    h2.client(Http2Frames::preface());
    h2.server(Http2Frames::frame(Http2Frames::Settings, 0, 0, {}));
    const Fields extra = {{"user-agent", "Browser/1.0 (a long enough agent string)"},
                          {"cookie", "session=abc"},
                          {"accept", "*/*"},
                          {"cookie", "theme=dark"}};
    const Bytes first = h2.fromClient.block(request("/one.mp4", extra));
    const Bytes second = h2.fromClient.block(request("/two.mp4", extra));
    ASSERT_LT(second.size(), first.size() / 2); // indexed the second time
    h2.client(Http2Frames::frame(Http2Frames::Headers, 0x5, 1, first) +
              Http2Frames::frame(Http2Frames::Headers, 0x5, 3, second));
    const Fields answer = {{":status", "200"}, {"content-type", "video/mp4"}, {"content-length", "5"}};
    // The blocks are made in the order they are sent: the second refers to the first's entries.
    const Bytes answerOne = h2.fromServer.headers(1, answer, false);
    const Bytes answerThree = h2.fromServer.headers(3, answer, false);
    h2.server(answerOne + answerThree);
    h2.server(Http2Frames::frame(Http2Frames::Data, 0x1, 3, bytesOf("12345")));

    EXPECT_EQ(h2.harness.decoder.statistics().connectionsAbandoned, 0u);
    ASSERT_EQ(h2.harness.started.size(), 2u);
    for (const HttpExchange& exchange : h2.harness.started) {
        EXPECT_EQ(exchange.protocol, HttpExchange::Protocol::Http2);
        EXPECT_EQ(exchange.scheme, "http");
        EXPECT_EQ(exchange.authority, "media.test:8443");
        ASSERT_EQ(exchange.requestHeaders.size(), 3u);
        EXPECT_EQ(exchange.requestHeaders[0].name, "user-agent");
        EXPECT_EQ(exchange.requestHeaders[1].value, "session=abc; theme=dark");
        EXPECT_EQ(exchange.requestHeaders[2].name, "accept");
        EXPECT_EQ(*exchange.responseHeader("Content-Type"), "video/mp4");
    }
    EXPECT_EQ(h2.harness.started[1].path, "/two.mp4");
    ASSERT_EQ(h2.harness.completed.size(), 1u);
    EXPECT_EQ(h2.harness.completed[0].path, "/two.mp4");
    EXPECT_EQ(h2.harness.completed[0].responseBodyBytes, 5u);
}

TEST(Http2, ContinuationPaddingPriorityInterimAndResets)
{
    Http2Connection h2;
    h2.client(Http2Frames::preface());
    // HEADERS with padding and priority, its block cut over two CONTINUATION frames.
    const Bytes block = h2.fromClient.block(request("/padded.webm", {{"referer", "http://media.test/page"}}));
    Bytes headers = {3, 0, 0, 0, 0, 16}; // pad length 3, dependency 0, weight 16
    headers.insert(headers.end(), block.begin(), block.begin() + 5);
    headers.insert(headers.end(), 3, 0);
    h2.client(Http2Frames::frame(Http2Frames::Headers, 0x8 | 0x20 | 0x1, 5, headers) +
              Http2Frames::frame(Http2Frames::Continuation, 0, 5, std::span(block).subspan(5, 4)) +
              Http2Frames::frame(Http2Frames::Continuation, 0x4, 5, std::span(block).subspan(9)));
    // 103 Early Hints first, then the answer; padded DATA counts only its data.
    const Bytes interim = h2.fromServer.headers(5, {{":status", "103"}, {"link", "</a.css>"}}, false);
    h2.server(interim + h2.fromServer.headers(5, {{":status", "200"}, {"content-type", "video/webm"}}, false));
    const Bytes padded = {4, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    h2.server(Http2Frames::frame(Http2Frames::Data, 0x8, 5, padded) +
              Http2Frames::frame(Http2Frames::Ping, 0, 0, Bytes(8, 0)) +
              Http2Frames::frame(Http2Frames::Data, 0x1, 5, bytesOf("more")));
    // A second stream is reset by the client after its response started.
    h2.client(h2.fromClient.headers(7, request("/reset.webm"), true));
    h2.server(h2.fromServer.headers(7, {{":status", "200"}}, false));
    h2.client(Http2Frames::frame(Http2Frames::RstStream, 0, 7, Bytes{0, 0, 0, 8}));

    ASSERT_EQ(h2.harness.started.size(), 2u);
    const HttpExchange& first = h2.harness.started[0];
    EXPECT_EQ(first.path, "/padded.webm");
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(*first.requestHeader("referer"), "http://media.test/page");
    EXPECT_FALSE(first.responseHeader("link")); // the interim response's fields are not the answer's
    ASSERT_EQ(h2.harness.completed.size(), 2u);
    EXPECT_EQ(h2.harness.completed[0].responseBodyBytes, 8u);
    EXPECT_EQ(h2.harness.completed[0].ending, HttpExchange::Ending::Complete);
    EXPECT_EQ(h2.harness.completed[1].path, "/reset.webm");
    EXPECT_EQ(h2.harness.completed[1].ending, HttpExchange::Ending::Reset);
}

TEST(Http2, AFrameInsideAHeaderBlockStopsTheConnection)
{
    Http2Connection h2;
    h2.client(Http2Frames::preface());
    const Bytes block = h2.fromClient.block(request("/x"));
    h2.client(Http2Frames::frame(Http2Frames::Headers, 0x1, 1, block) +
              Http2Frames::frame(Http2Frames::Ping, 0, 0, Bytes(8, 0)));
    h2.client(h2.fromClient.headers(3, request("/y"), true));
    h2.server(h2.fromServer.headers(3, {{":status", "200"}}, true));
    EXPECT_TRUE(h2.harness.started.empty());
    EXPECT_EQ(h2.harness.decoder.statistics().connectionsAbandoned, 1u);
}

TEST(Http2, HeaderListsAndBlocksAreBounded)
{
    WireLimits limits;
    limits.maxHeaderBytes = 200;
    limits.maxHeaderBlockBytes = 1000;
    Http2Connection h2(limits);
    h2.client(Http2Frames::preface());
    // A list past its bound keeps its first fields and says so; the table stays in step.
    h2.client(h2.fromClient.headers(1, request("/big", {{"x-long", std::string(300, 'a')}, {"x-after", "1"}}), true));
    h2.client(h2.fromClient.headers(3, request("/next", {{"x-long", std::string(300, 'a')}}), true));
    h2.server(h2.fromServer.headers(1, {{":status", "200"}}, true));
    h2.server(h2.fromServer.headers(3, {{":status", "200"}}, true));
    ASSERT_EQ(h2.harness.started.size(), 2u);
    EXPECT_TRUE(h2.harness.started[0].headersTruncated);
    EXPECT_EQ(h2.harness.started[0].path, "/big");
    EXPECT_FALSE(h2.harness.started[0].requestHeader("x-after"));
    EXPECT_EQ(h2.harness.started[1].path, "/next");

    // A header frame larger than the block bound ends the connection's reading.
    h2.client(Http2Frames::frame(Http2Frames::Headers, 0x4, 5, Bytes(1001, 0x40)));
    EXPECT_EQ(h2.harness.decoder.statistics().connectionsAbandoned, 1u);
}

TEST(Http2, OverTls13)
{
    TlsPair pair({});
    ASSERT_TRUE(pair.handshake());
    Http2Frames fromClient;
    Http2Frames fromServer;
    const Bytes request =
        Http2Frames::preface() +
        fromClient.headers(
            1, {{":method", "GET"}, {":scheme", "https"}, {":authority", "media.test"}, {":path", "/seg-1.m4s"}}, true);
    pair.clientWrite(std::string(request.begin(), request.end()));
    const Bytes answer = Http2Frames::frame(Http2Frames::Settings, 0, 0, {}) +
                         fromServer.headers(1, {{":status", "200"}, {"content-type", "video/iso.segment"}}, false) +
                         Http2Frames::frame(Http2Frames::Data, 0x1, 1, Bytes(30000, 7));
    pair.serverWrite(std::string(answer.begin(), answer.end()));

    DecoderHarness harness;
    harness.keyLog.addText(pair.keyLog());
    TcpConversation conversation(kClient, endpoint("fd00::1", 443));
    harness.feed(pair.frames(conversation));
    ASSERT_EQ(harness.completed.size(), 1u);
    EXPECT_EQ(harness.completed[0].scheme, "https");
    EXPECT_EQ(harness.completed[0].path, "/seg-1.m4s");
    EXPECT_EQ(harness.completed[0].responseBodyBytes, 30000u);
}

} // namespace
