#include "AnalyserHarness.h"

#include <gtest/gtest.h>

namespace {

using Link = FrameBuilder::Link;

QString url(const char* path)
{
    return QStringLiteral("http://media.test:8080") + QLatin1String(path);
}

TEST(RequestAnalyser, CandidateCarriesTheRequestHeaders)
{
    AnalyserHarness h;
    h.history.append(QStringLiteral("http://site.test/older.html"));
    h.history.append(QStringLiteral("http://site.test/page.html"));
    // Header names in any case: clients, proxies and servers spell them as they like.
    h.sendRequest(FrameBuilder::requestText(
        "/clip.mp4", {"host: media.test:8080", "USER-AGENT: Agent/2", "Accept: video/*", "Accept-Language: en",
                      "Accept-Encoding: identity", "Referer: http://site.test/page.html", "cookie: id=42; k=v",
                      "Connection: keep-alive"}));
    h.sendResponse(FrameBuilder::responseText({"content-type: video/MP4"}));

    const QList<VideoFile> records = h.candidates();
    ASSERT_EQ(records.size(), 1);
    const VideoFile& r = records.at(0);
    EXPECT_EQ(r.state, VideoFile::State::New);
    EXPECT_EQ(r.baseName, QString::number(AnalyserHarness::kNow));
    EXPECT_EQ(r.url, url("/clip.mp4"));
    EXPECT_EQ(r.userAgent, QStringLiteral("Agent/2"));
    EXPECT_EQ(r.accept, QStringLiteral("video/*"));
    EXPECT_EQ(r.acceptLanguage, QStringLiteral("en"));
    EXPECT_EQ(r.acceptEncoding, QStringLiteral("identity"));
    EXPECT_EQ(r.referer, QStringLiteral("http://site.test/page.html"));
    EXPECT_EQ(r.cookie, QStringLiteral("id=42; k=v"));
    EXPECT_EQ(r.connection, QStringLiteral("keep-alive"));
    EXPECT_EQ(r.pageAddress, r.referer);
    EXPECT_EQ(r.history, QStringLiteral("http://site.test/page.html^http://site.test/older.html^"));
    EXPECT_EQ(r.title, QStringLiteral("Unnamed media file"));
    EXPECT_EQ(r.extension, QStringLiteral(".mp4"));
    EXPECT_EQ(r.totalBytes, 0);
    EXPECT_EQ(r.receivedBytes, 0);
    EXPECT_EQ(h.detected.load(), 1);
}

// Frames of 40 bytes or less are not looked at, not even to count down the continuation window.
TEST(RequestAnalyser, FrameAdmission)
{
    struct Row
    {
        int length;
        bool recorded;
    };
    for (const Row row : {Row{0, false}, Row{5, false}, Row{40, false}, Row{41, true}, Row{200, true}}) {
        SCOPED_TRACE(row.length);
        AnalyserHarness h;
        // "GET /" at the end of a frame of zeros: the header falls back to 20 bytes before it.
        QByteArray frame(std::max(0, row.length - 5), '\0');
        frame += QByteArray("GET /").left(row.length);
        h.feed(frame);
        EXPECT_EQ(h.gets.size(), row.recorded ? 1 : 0);
    }

    AnalyserHarness h;
    h.sendRequest(browserRequest("/a.mp4").chopped(2)); // unterminated: opens the window
    for (int i = 0; i < 150; ++i)
        h.feed(QByteArray(40, 'x'));
    EXPECT_EQ(h.analyser.continuationWindow(), RequestAnalyser::kContinuationFrames);
}

// A request whose "GET /" stands less than a TCP header from the frame's start has no header
// to read its ports from: it is not recorded, instead of reading before the frame.
TEST(RequestAnalyser, RequestTooCloseToTheFrameStartIsNotRecorded)
{
    for (int offset : {0, 1, 10, 19}) {
        SCOPED_TRACE(offset);
        AnalyserHarness h;
        QByteArray frame = QByteArray(offset, '\x01') + browserRequest("/a.mp4");
        h.feed(frame);
        EXPECT_EQ(h.gets.size(), 0);
    }
}

// The continuation window: a second segment joins its request within 100 frames after it.
TEST(RequestAnalyser, SplitRequestJoinsWithinTheWindow)
{
    struct Row
    {
        int framesBetween;
        bool joined;
    };
    const QByteArray whole = browserRequest("/split.mp4", {"Cookie: c=1"});
    const qsizetype cut = whole.indexOf("User-Agent");
    for (const Row row : {Row{0, true}, Row{1, true}, Row{99, true}, Row{100, false}, Row{250, false}}) {
        SCOPED_TRACE(row.framesBetween);
        AnalyserHarness h;
        h.sendRequest(whole.left(cut), 7000);
        ASSERT_EQ(h.gets.size(), 1);
        EXPECT_FALSE(h.gets.at(0)->complete);
        h.sendFiller(row.framesBetween);
        h.sendRequest(whole.mid(cut), 7000 + quint32(cut));
        const Get get = *h.gets.at(0);
        EXPECT_EQ(get.complete, row.joined);
        EXPECT_EQ(get.requestText, QString::fromLatin1(row.joined ? whole : whole.left(cut)));
        h.sendMediaResponse("video/mp4");
        const QList<VideoFile> records = h.candidates();
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(records.at(0).cookie, row.joined ? QStringLiteral("c=1") : QString());
    }
}

TEST(RequestAnalyser, ContinuationNeedsPortsAndTheNextSequenceNumber)
{
    struct Row
    {
        const char* name;
        quint16 client;
        quint16 server;
        qint64 sequenceShift;
        bool joined;
    };
    const QByteArray first = "GET /x.mp4 HTTP/1.1\r\nHost: a.test\r\n";
    for (const Row row : {Row{"match", 40000, 8080, 0, true}, Row{"other client", 40001, 8080, 0, false},
                          Row{"other server", 40000, 80, 0, false}, Row{"sequence ahead", 40000, 8080, 1, false},
                          Row{"sequence behind", 40000, 8080, -1, false}}) {
        SCOPED_TRACE(row.name);
        AnalyserHarness h;
        h.sendRequest(first, 0xFFFFFFF0u); // the sequence number wraps inside the request
        h.sendRequest("Accept: */*\r\n\r\n", quint32(0xFFFFFFF0u + first.size() + row.sequenceShift), row.client,
                      row.server);
        EXPECT_EQ(h.gets.at(0)->complete, row.joined);
    }
}

// Every earlier request of the client port becomes a candidate, newest first; a repeated
// address gives one candidate; consecutive candidates in one second take consecutive bases.
TEST(RequestAnalyser, KeepAliveConnectionGivesEveryRequestNewestFirst)
{
    AnalyserHarness h;
    h.sendRequest(browserRequest("/one.mp4"), 100);
    h.sendRequest(browserRequest("/two.mp4"), 200);
    h.sendRequest(browserRequest("/one.mp4"), 300);
    h.sendRequest(browserRequest("/other-port.mp4"), 400, 40001);
    h.sendMediaResponse("video/mp4");

    EXPECT_EQ(h.urls(), (QStringList{url("/one.mp4"), url("/two.mp4")}));
    const QList<VideoFile> records = h.candidates();
    EXPECT_EQ(records.at(0).baseName, QString::number(AnalyserHarness::kNow));
    EXPECT_EQ(records.at(1).baseName, QString::number(AnalyserHarness::kNow + 1));
    EXPECT_EQ(h.detected.load(), 2);

    // Seen again: nothing new. Once cancelled, the address is caught again.
    h.sendRequest(browserRequest("/one.mp4"), 500);
    h.sendMediaResponse("video/mp4");
    EXPECT_EQ(h.videoFiles.size(), 2);
    h.videoFiles.update(0, [](VideoFile& r) { r.state = VideoFile::State::Canceled; });
    h.sendMediaResponse("video/mp4");
    EXPECT_EQ(h.urls(), (QStringList{url("/one.mp4"), url("/two.mp4"), url("/one.mp4")}));
    EXPECT_EQ(h.candidates().at(2).state, VideoFile::State::New);
    EXPECT_EQ(h.candidates().at(2).baseName, QString::number(AnalyserHarness::kNow + 2));
}

TEST(RequestAnalyser, ResponseWithoutKnownRequestGivesNothing)
{
    AnalyserHarness h;
    h.sendRequest(browserRequest("/a.mp4"), 1, 40000);
    h.sendMediaResponse("video/mp4", 40002);
    EXPECT_EQ(h.videoFiles.size(), 0);
}

// Ports 80 and 8080 on every link type and TCP header size the adapters deliver.
TEST(RequestAnalyser, FindsTheTcpHeaderOnEveryLinkType)
{
    for (const Link link : {Link::Ethernet, Link::EthernetV6, Link::LinuxCooked, Link::RawIp}) {
        for (const quint16 server : {quint16(80), quint16(8080)}) {
            for (const int options : {0, 12, 40}) {
                SCOPED_TRACE(testing::Message() << int(link) << " " << server << " " << options);
                AnalyserHarness h;
                h.sendRequest(browserRequest("/v.webm"), 10, 45678, server, link, options);
                ASSERT_EQ(h.gets.size(), 1);
                EXPECT_EQ(h.gets.at(0)->clientPort, 45678);
                EXPECT_EQ(h.gets.at(0)->serverPort, server);
                EXPECT_EQ(h.gets.at(0)->firstSequence, 10u);
                h.sendResponse(FrameBuilder::responseText({"Content-Type: video/webm"}), 45678, server, link, options);
                EXPECT_EQ(h.urls(), QStringList{url("/v.webm")});
            }
        }
    }
}

TEST(RequestAnalyser, AddressesThatGiveNoCandidate)
{
    struct Row
    {
        QByteArray path;
        QByteArray host;
        bool candidate;
    };
    const Row rows[] = {
        {"/feed.xml", "media.test", false},
        {"/FEED.XML", "media.test", false},
        {"/x.xml?a=1", "media.test", true},
        {"/a%20b.mp4", "media.test", true},
        {"/videoplayback?id=1", "media.test", false},
        {"/watch.mp4", "www.youtube.com", false},
        {"/v.mp4", "r1---sn-abc.googlevideo.com", false},
        {"/v.mp4", "vimeo.com.example.test", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString() + " " + row.host.toStdString());
        AnalyserHarness h;
        h.sendRequest(FrameBuilder::requestText(row.path, {"Host: " + row.host}));
        h.sendMediaResponse("video/mp4");
        EXPECT_EQ(h.videoFiles.size(), row.candidate ? 1 : 0);
    }
}

TEST(RequestAnalyser, AudioTitlesComeFromTheFileName)
{
    struct Row
    {
        QByteArray path;
        QByteArray type;
        const char* title;
        const char* extension;
    };
    const Row rows[] = {
        {"/music/Song.MP3?x=1", "audio/mpeg", "Song", ".mp3"}, {"/music/Both.MP3.mp3", "audio/mpeg", "Both", ".mp3"},
        {"/music/low.mp3", "audio/mpeg", "low", ".mp3"},       {"/music/.mp3", "audio/mpeg", "Audio Track", ".mp3"},
        {"/stream", "audio/mpeg", "Audio Track", ".mp3"},      {"/a/track.m4a", "audio/mp4", "Audio Track", ".m4a"},
        {"/a/odd.mp3.m4a", "audio/mp4", "odd", ".m4a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path.toStdString());
        AnalyserHarness h;
        h.history.append(QStringLiteral("http://site.test/"));
        h.sendRequest(browserRequest(row.path, {"Referer: http://site.test/"}));
        h.sendMediaResponse(row.type);
        const QList<VideoFile> records = h.candidates();
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(records.at(0).title, QString::fromUtf8(row.title));
        EXPECT_EQ(records.at(0).extension, QLatin1String(row.extension));
        EXPECT_EQ(records.at(0).history, QString());
        EXPECT_EQ(records.at(0).pageAddress, QString());
        EXPECT_EQ(records.at(0).referer, QStringLiteral("http://site.test/"));
    }
}

} // namespace
