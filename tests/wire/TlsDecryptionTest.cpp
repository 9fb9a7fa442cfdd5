#include "DecoderHarness.h"
#include "TlsPair.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace {

const Endpoint kClient = endpoint("192.168.1.20", 51000);
const Endpoint kServer = endpoint("192.168.1.1", 443);

constexpr std::string_view kRequest = "GET /clip.mp4 HTTP/1.1\r\nHost: media.test\r\nUser-Agent: t\r\n\r\n";
const std::string kBody(40000, 'v'); // several records

std::string response()
{
    return "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: " + std::to_string(kBody.size()) +
           "\r\n\r\n" + kBody;
}

// One request and its response over a fresh pair.
TlsPair exchangeOver(TlsPair::Options options)
{
    TlsPair pair(std::move(options));
    EXPECT_TRUE(pair.handshake());
    pair.clientWrite(kRequest);
    pair.serverWrite(response());
    EXPECT_EQ(pair.clientReceived(), response());
    return pair;
}

void expectTheClip(const DecoderHarness& harness)
{
    ASSERT_EQ(harness.started.size(), 1u);
    const HttpExchange& exchange = harness.started[0];
    EXPECT_EQ(exchange.scheme, "https");
    EXPECT_TRUE(exchange.encrypted);
    EXPECT_EQ(exchange.method, "GET");
    EXPECT_EQ(exchange.authority, "media.test");
    EXPECT_EQ(exchange.path, "/clip.mp4");
    EXPECT_EQ(exchange.status, 200);
    EXPECT_EQ(exchange.client, kClient);
    EXPECT_EQ(exchange.server, kServer);
    ASSERT_TRUE(exchange.responseHeader("content-type"));
    EXPECT_EQ(*exchange.responseHeader("content-type"), "video/mp4");
    ASSERT_EQ(harness.completed.size(), 1u);
    EXPECT_EQ(harness.completed[0].id, exchange.id);
    EXPECT_EQ(harness.completed[0].responseBodyBytes, kBody.size());
    EXPECT_EQ(harness.completed[0].ending, HttpExchange::Ending::Complete);
}

struct Suite
{
    const char* name;
    int version;
    const char* suite;
};

class EverySuite : public testing::TestWithParam<Suite>
{
};

TEST_P(EverySuite, DecryptsWhatOpenSslSent)
{
    TlsPair::Options options;
    options.version = GetParam().version;
    (options.version == TLS1_3_VERSION ? options.suites13 : options.suites12) = GetParam().suite;
    const TlsPair pair = exchangeOver(options);

    DecoderHarness harness;
    harness.keyLog.addText(pair.keyLog());
    TcpConversation conversation(kClient, kServer);
    harness.feed(pair.frames(conversation));
    expectTheClip(harness);
    EXPECT_GT(harness.decoder.statistics().decryptedRecords, 3u);
}

INSTANTIATE_TEST_SUITE_P(Suites,
                         EverySuite,
                         testing::Values(Suite{"Tls13Aes128Gcm", TLS1_3_VERSION, "TLS_AES_128_GCM_SHA256"},
                                         Suite{"Tls13Aes256Gcm", TLS1_3_VERSION, "TLS_AES_256_GCM_SHA384"},
                                         Suite{"Tls13ChaCha20", TLS1_3_VERSION, "TLS_CHACHA20_POLY1305_SHA256"},
                                         Suite{"Tls12Aes128Gcm", TLS1_2_VERSION, "ECDHE-ECDSA-AES128-GCM-SHA256"},
                                         Suite{"Tls12Aes256Gcm", TLS1_2_VERSION, "ECDHE-ECDSA-AES256-GCM-SHA384"},
                                         Suite{"Tls12ChaCha20", TLS1_2_VERSION, "ECDHE-ECDSA-CHACHA20-POLY1305"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(TlsDecryption, FollowsKeyUpdatesOfBothSides)
{
    TlsPair pair({});
    ASSERT_TRUE(pair.handshake());
    pair.clientWrite(kRequest);
    pair.serverWrite(response());
    pair.keyUpdate(true);
    pair.keyUpdate(false);
    pair.keyUpdate(false);
    pair.clientWrite("GET /second.mp4 HTTP/1.1\r\nHost: media.test\r\n\r\n");
    pair.serverWrite("HTTP/1.1 206 Partial Content\r\nContent-Length: 3\r\n\r\nabc");
    ASSERT_EQ(pair.serverReceived().size(), kRequest.size() + 46);

    DecoderHarness harness;
    harness.keyLog.addText(pair.keyLog());
    TcpConversation conversation(kClient, kServer);
    harness.feed(pair.frames(conversation));
    ASSERT_EQ(harness.started.size(), 2u);
    EXPECT_EQ(harness.started[1].path, "/second.mp4");
    EXPECT_EQ(harness.started[1].status, 206);
    ASSERT_EQ(harness.completed.size(), 2u);
    EXPECT_EQ(harness.completed[1].responseBodyBytes, 3u);
}

TEST(TlsDecryption, ReadsALargeClientHelloSplitOverSegmentsAndAHelloRetry)
{
    TlsPair::Options options;
    options.helloPadding = 3000; // as post-quantum key shares make it
    options.retryRequest = true;
    const TlsPair pair = exchangeOver(options);
    ASSERT_GT(pair.transcript().front().bytes.size(), 3000u);

    DecoderHarness harness;
    harness.keyLog.addText(pair.keyLog());
    TcpConversation conversation(kClient, kServer);
    harness.feed(pair.frames(conversation, 536));
    expectTheClip(harness);
}

TEST(TlsDecryption, SegmentsOutOfOrderAndRepeatedChangeNothing)
{
    const TlsPair pair = exchangeOver({});
    TcpConversation conversation(kClient, kServer, WireFrames::Link::LinuxCooked);
    std::vector<Bytes> frames = pair.frames(conversation, 700);
    // Shuffle within windows of five segments after the opening, and send every third twice.
    std::mt19937 random(7);
    for (std::size_t at = 3; at + 5 <= frames.size(); at += 5)
        std::shuffle(frames.begin() + std::ptrdiff_t(at), frames.begin() + std::ptrdiff_t(at + 5), random);
    std::vector<Bytes> withRepeats;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        withRepeats.push_back(frames[i]);
        if (i % 3 == 0)
            withRepeats.push_back(frames[i]);
    }
    DecoderHarness harness;
    harness.keyLog.addText(pair.keyLog());
    harness.feed(withRepeats, conversation.linkType());
    expectTheClip(harness);
}

TEST(TlsDecryption, RecordsWaitForAKeyThatIsWrittenLate)
{
    for (const int version : {TLS1_3_VERSION, TLS1_2_VERSION}) {
        SCOPED_TRACE(version);
        QTemporaryDir folder;
        const std::string path = folder.filePath(QStringLiteral("keys.log")).toStdString();
        std::ofstream(path) << "# keys\n";
        TlsPair::Options options;
        options.version = version;
        const TlsPair pair = exchangeOver(options);
        DecoderHarness harness;
        harness.keyLog.setFile(path);
        TcpConversation conversation(kClient, kServer);
        harness.feed(pair.frames(conversation));
        EXPECT_TRUE(harness.started.empty());

        std::ofstream(path, std::ios::app) << pair.keyLog();
        harness.time += 1'000'000;
        harness.feed(conversation.fin(true)); // any later frame lets the decoder look again
        expectTheClip(harness);
        // The connection's secrets are dropped with it.
        harness.feed(conversation.fin(false));
        EXPECT_EQ(harness.decoder.statistics().connections, 0u);
        EXPECT_EQ(harness.keyLog.entryCount(), 0u);
        EXPECT_EQ(harness.decoder.statistics().keysMissing, 0u);
    }
}

TEST(TlsDecryption, AConnectionThatStartsWaitingLooksAtTheFileAtOnce)
{
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("keys.log")).toStdString();
    std::ofstream(path) << "# keys\n";
    WireLimits limits;
    limits.maxBytesAwaitingKey = 16 * 1024;
    DecoderHarness harness(limits);
    harness.keyLog.setFile(path);
    // A first connection waits for a key that never comes: the file was just read for it.
    const TlsPair unknown = exchangeOver({});
    TcpConversation first(endpoint("192.168.1.21", 51001), kServer);
    const std::vector<Bytes> unknownFrames = unknown.frames(first);
    harness.feed(std::vector<Bytes>(unknownFrames.begin(), unknownFrames.begin() + 6));

    // The browser writes the next connection's secrets before that connection's records cross
    // the wire; they are read before more than the bound has to wait.
    const TlsPair pair = exchangeOver({});
    std::ofstream(path, std::ios::app) << pair.keyLog();
    TcpConversation second(kClient, kServer);
    harness.feed(pair.frames(second));
    expectTheClip(harness);
}

TEST(TlsDecryption, MissingOrWrongKeysGiveNothingAndHoldLittle)
{
    TlsPair pair({});
    ASSERT_TRUE(pair.handshake());
    for (int i = 0; i < 20; ++i) {
        pair.clientWrite(kRequest);
        pair.serverWrite(response());
    }
    WireLimits limits;
    limits.maxBytesAwaitingKey = 64 * 1024;

    // No key at all: the records wait up to the bound, then the connection is passed over.
    DecoderHarness missing(limits);
    TcpConversation first(kClient, kServer);
    missing.feed(pair.frames(first));
    EXPECT_TRUE(missing.started.empty());
    EXPECT_EQ(missing.decoder.statistics().connectionsAbandoned, 1u);
    EXPECT_EQ(missing.decoder.statistics().tlsConnections, 1u);
    EXPECT_EQ(missing.decoder.statistics().keysMissing, 1u); // what a notice of "no keys" reads
    EXPECT_EQ(missing.keysMissing, 1) << "the sink hears of it once";

    // Keys of the wrong value: nothing authenticates, nothing is reported.
    std::string wrong;
    std::istringstream lines(pair.keyLog());
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.rfind(' ') + 1; // the secret's first digit
        line[at] = line[at] == '0' ? '1' : '0';
        wrong += line + "\n";
    }
    DecoderHarness wrongKeys(limits);
    wrongKeys.keyLog.addText(wrong);
    TcpConversation second(kClient, kServer);
    wrongKeys.feed(pair.frames(second));
    EXPECT_TRUE(wrongKeys.started.empty());
    EXPECT_EQ(wrongKeys.decoder.statistics().connectionsAbandoned, 1u);
    EXPECT_EQ(wrongKeys.decoder.statistics().decryptedRecords, 0u);
    EXPECT_EQ(wrongKeys.decoder.statistics().keysMissing, 0u);

    // A key that never comes: the wait ends after its time even without more traffic.
    DecoderHarness late(limits);
    TcpConversation third(kClient, kServer);
    const std::vector<Bytes> frames = pair.frames(third);
    late.feed(std::vector<Bytes>(frames.begin(), frames.begin() + 12));
    late.time += limits.keyWaitTimeout + 1'000'000;
    late.feed(WireFrames::frame(WireFrames::Link::Ethernet, endpoint("10.9.9.9", 1), endpoint("10.9.9.8", 2), 5,
                                TcpSegment::Ack, bytesOf("unrelated")));
    EXPECT_EQ(late.decoder.statistics().connectionsAbandoned, 1u);
    EXPECT_EQ(late.decoder.statistics().keysMissing, 1u);
}

TEST(TlsDecryption, ConnectionsThatStartedBeforeTheCaptureArePassedOver)
{
    const TlsPair pair = exchangeOver({});
    DecoderHarness harness;
    harness.keyLog.addText(pair.keyLog());
    TcpConversation conversation(kClient, kServer);
    std::vector<Bytes> frames = pair.frames(conversation);
    // Without the opening and the hellos, the first segment seen is the middle of a stream.
    harness.feed(std::vector<Bytes>(frames.begin() + 8, frames.end()));
    EXPECT_TRUE(harness.started.empty());
    EXPECT_EQ(harness.decoder.statistics().connections, 1u);
    EXPECT_EQ(harness.decoder.statistics().connectionsAbandoned, 0u);
}

} // namespace
